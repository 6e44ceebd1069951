#pragma once

// The small controls of the Simulator panel, drawn to one look in light and dark themes; the
// panel's views take them all from here.
#include "panel/PanelButtons.h"
#include "panel/PanelLabels.h"
#include "panel/PanelShapes.h"
#include "panel/PanelToggles.h"
