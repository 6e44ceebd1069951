#pragma once
// Linux only: the declarations the macOS backend is built against here.
#include "../../AppleInterfaces.h"
