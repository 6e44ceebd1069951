#pragma once

#include "foundation/FrameFlipper.h"

namespace platform {

// How this platform flips an animation's frames into a window without repainting it; empty where
// it cannot.
FrameFlipperFactory createFrameFlipperFactory();

} // namespace platform
