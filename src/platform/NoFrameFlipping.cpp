#include "platform/FrameFlipping.h"

namespace platform {

FrameFlipperFactory createFrameFlipperFactory() {
    return {};
}

} // namespace platform
