#pragma once

// The parts of CoreFoundation, CoreGraphics and ApplicationServices the macOS backend uses,
// declared as Apple's headers declare them, so that the backend builds on Linux against
// FakeApple.cpp. Never included on Apple platforms.

#include "AppleConstants.h"

#include <cstdint>
#include <sys/types.h>

extern "C" {

// ---- CoreFoundation

typedef const void* CFTypeRef;
typedef unsigned long CFTypeID;
typedef signed long CFIndex;
typedef unsigned char Boolean;
typedef unsigned short UniChar;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFArray* CFArrayRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFBoolean* CFBooleanRef;
typedef const struct __CFURL* CFURLRef;
typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;
// Apple's CF_ENUM makes each of these an enumeration type of its own in C++.
enum CFNumberType : CFIndex {
    kCFNumberSInt32Type = copied::kCFNumberSInt32Type,
    kCFNumberSInt64Type = copied::kCFNumberSInt64Type,
    kCFNumberDoubleType = copied::kCFNumberDoubleType,
};

typedef const void* (*CFDictionaryRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFDictionaryReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFDictionaryCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFDictionaryEqualCallBack)(const void* value1, const void* value2);
typedef unsigned long (*CFDictionaryHashCallBack)(const void* value);
typedef struct {
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
    CFDictionaryHashCallBack hash;
} CFDictionaryKeyCallBacks;
typedef struct {
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
} CFDictionaryValueCallBacks;

extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);

CFTypeID CFStringGetTypeID(void);
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars);
CFIndex CFStringGetLength(CFStringRef theString);
void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);

CFTypeID CFNumberGetTypeID(void);
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType, const void* valuePtr);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);

CFTypeID CFBooleanGetTypeID(void);
Boolean CFBooleanGetValue(CFBooleanRef boolean);

CFTypeID CFArrayGetTypeID(void);
CFIndex CFArrayGetCount(CFArrayRef theArray);
const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);

CFTypeID CFDictionaryGetTypeID(void);
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key);

CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, CFStringRef URLString, CFURLRef baseURL);

static inline CFRange CFRangeMake(CFIndex loc, CFIndex len) {
    CFRange range = {loc, len};
    return range;
}

// ---- CoreGraphics

typedef double CGFloat;
struct CGPoint {
    CGFloat x;
    CGFloat y;
};
struct CGSize {
    CGFloat width;
    CGFloat height;
};
struct CGRect {
    CGPoint origin;
    CGSize size;
};
typedef struct CGPoint CGPoint;
typedef struct CGSize CGSize;
typedef struct CGRect CGRect;
typedef uint32_t CGWindowID;
typedef uint32_t CGWindowListOption;
enum : uint32_t {
    kCGWindowListOptionOnScreenOnly = copied::kCGWindowListOptionOnScreenOnly,
    kCGWindowListOptionIncludingWindow = copied::kCGWindowListOptionIncludingWindow,
    kCGWindowListExcludeDesktopElements = copied::kCGWindowListExcludeDesktopElements,
};
#define kCGNullWindowID ((CGWindowID)copied::kCGNullWindowID)

extern const CFStringRef kCGWindowOwnerPID;
extern const CFStringRef kCGWindowLayer;
extern const CFStringRef kCGWindowNumber;
extern const CFStringRef kCGWindowBounds;
extern const CFStringRef kCGWindowName;

CFArrayRef CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow);
bool CGRectMakeWithDictionaryRepresentation(CFDictionaryRef dict, CGRect* rect);

// ---- ApplicationServices: accessibility

typedef const struct __AXUIElement* AXUIElementRef;
typedef const struct __AXValue* AXValueRef;
enum AXError : int32_t {
    kAXErrorSuccess = copied::kAXErrorSuccess,
    kAXErrorFailure = copied::kAXErrorFailure,
    kAXErrorIllegalArgument = copied::kAXErrorIllegalArgument,
    kAXErrorInvalidUIElement = copied::kAXErrorInvalidUIElement,
    kAXErrorCannotComplete = copied::kAXErrorCannotComplete,
    kAXErrorAttributeUnsupported = copied::kAXErrorAttributeUnsupported,
    kAXErrorActionUnsupported = copied::kAXErrorActionUnsupported,
    kAXErrorAPIDisabled = copied::kAXErrorAPIDisabled,
    kAXErrorNoValue = copied::kAXErrorNoValue,
};
enum AXValueType : uint32_t {
    kAXValueTypeIllegal = copied::kAXValueTypeIllegal,
    kAXValueTypeCGPoint = copied::kAXValueTypeCGPoint,
    kAXValueTypeCGSize = copied::kAXValueTypeCGSize,
    kAXValueTypeCGRect = copied::kAXValueTypeCGRect,
};

extern CFStringRef kAXTrustedCheckOptionPrompt;

Boolean AXIsProcessTrusted(void);
Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options);
CFTypeID AXUIElementGetTypeID(void);
AXUIElementRef AXUIElementCreateApplication(pid_t pid);
AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds);
AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute, CFTypeRef* value);
AXError AXUIElementSetAttributeValue(AXUIElementRef element, CFStringRef attribute, CFTypeRef value);
AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action);
AXError AXUIElementCopyElementAtPosition(AXUIElementRef application, float x, float y,
                                         AXUIElementRef* element);
CFTypeID AXValueGetTypeID(void);
AXValueRef AXValueCreate(AXValueType theType, const void* valuePtr);
AXValueType AXValueGetType(AXValueRef value);
Boolean AXValueGetValue(AXValueRef value, AXValueType theType, void* valuePtr);

// ---- ApplicationServices: launch services

typedef int32_t OSStatus;
enum : int32_t { noErr = copied::noErr };
OSStatus LSOpenCFURLRef(CFURLRef inURL, CFURLRef* outLaunchedURL);

} // extern "C"
