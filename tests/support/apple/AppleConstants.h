#pragma once

#include <cstdint>

// The values of the Apple constants the macOS backend uses, as Apple's headers and documentation
// give them. Linux builds declare the interfaces with these (AppleInterfaces.h); a Mac build
// checks each against the real SDK (tests/platform/tst_applevalues.cpp).
namespace copied {

// CoreFoundation
inline constexpr long kCFNumberSInt32Type = 3;
inline constexpr long kCFNumberSInt64Type = 4;
inline constexpr long kCFNumberDoubleType = 13;

// CoreGraphics
inline constexpr uint32_t kCGWindowListOptionOnScreenOnly = 1u << 0;
inline constexpr uint32_t kCGWindowListOptionIncludingWindow = 1u << 3;
inline constexpr uint32_t kCGWindowListExcludeDesktopElements = 1u << 4;
inline constexpr uint32_t kCGNullWindowID = 0;
inline constexpr const char* kCGWindowOwnerPID = "kCGWindowOwnerPID";
inline constexpr const char* kCGWindowLayer = "kCGWindowLayer";
inline constexpr const char* kCGWindowNumber = "kCGWindowNumber";
inline constexpr const char* kCGWindowBounds = "kCGWindowBounds";
inline constexpr const char* kCGWindowName = "kCGWindowName";

// ApplicationServices: accessibility
inline constexpr int32_t kAXErrorSuccess = 0;
inline constexpr int32_t kAXErrorFailure = -25200;
inline constexpr int32_t kAXErrorIllegalArgument = -25201;
inline constexpr int32_t kAXErrorInvalidUIElement = -25202;
inline constexpr int32_t kAXErrorCannotComplete = -25204;
inline constexpr int32_t kAXErrorAttributeUnsupported = -25205;
inline constexpr int32_t kAXErrorActionUnsupported = -25206;
inline constexpr int32_t kAXErrorAPIDisabled = -25211;
inline constexpr int32_t kAXErrorNoValue = -25212;
inline constexpr uint32_t kAXValueTypeIllegal = 0;
inline constexpr uint32_t kAXValueTypeCGPoint = 1;
inline constexpr uint32_t kAXValueTypeCGSize = 2;
inline constexpr uint32_t kAXValueTypeCGRect = 3;
inline constexpr const char* kAXTrustedCheckOptionPrompt = "AXTrustedCheckOptionPrompt";

// ApplicationServices: launch services
inline constexpr int32_t noErr = 0;

} // namespace copied
