// Every Apple constant the Linux declarations copy (tests/support/apple/AppleConstants.h), checked
// against the real SDK: a wrong copy fails the Mac build instead of passing both fakes.

#include "support/apple/AppleConstants.h"

#include <QTest>

#include <ApplicationServices/ApplicationServices.h>
#include <CoreGraphics/CoreGraphics.h>

static_assert(kCFNumberSInt32Type == copied::kCFNumberSInt32Type);
static_assert(kCFNumberSInt64Type == copied::kCFNumberSInt64Type);
static_assert(kCFNumberDoubleType == copied::kCFNumberDoubleType);
static_assert(kCGWindowListOptionOnScreenOnly == copied::kCGWindowListOptionOnScreenOnly);
static_assert(kCGWindowListOptionIncludingWindow == copied::kCGWindowListOptionIncludingWindow);
static_assert(kCGWindowListExcludeDesktopElements == copied::kCGWindowListExcludeDesktopElements);
static_assert(kCGNullWindowID == copied::kCGNullWindowID);
static_assert(kAXErrorSuccess == copied::kAXErrorSuccess);
static_assert(kAXErrorFailure == copied::kAXErrorFailure);
static_assert(kAXErrorIllegalArgument == copied::kAXErrorIllegalArgument);
static_assert(kAXErrorInvalidUIElement == copied::kAXErrorInvalidUIElement);
static_assert(kAXErrorCannotComplete == copied::kAXErrorCannotComplete);
static_assert(kAXErrorAttributeUnsupported == copied::kAXErrorAttributeUnsupported);
static_assert(kAXErrorActionUnsupported == copied::kAXErrorActionUnsupported);
static_assert(kAXErrorAPIDisabled == copied::kAXErrorAPIDisabled);
static_assert(kAXErrorNoValue == copied::kAXErrorNoValue);
static_assert(kAXValueTypeIllegal == copied::kAXValueTypeIllegal);
static_assert(kAXValueTypeCGPoint == copied::kAXValueTypeCGPoint);
static_assert(kAXValueTypeCGSize == copied::kAXValueTypeCGSize);
static_assert(kAXValueTypeCGRect == copied::kAXValueTypeCGRect);
static_assert(noErr == copied::noErr);

class TestAppleValues : public QObject {
    Q_OBJECT
private slots:
    // The keys are objects the SDK makes at run time; their texts are what the declarations copy.
    void keys() {
        const std::pair<CFStringRef, const char*> keys[] = {
            {kCGWindowOwnerPID, copied::kCGWindowOwnerPID},
            {kCGWindowLayer, copied::kCGWindowLayer},
            {kCGWindowNumber, copied::kCGWindowNumber},
            {kCGWindowBounds, copied::kCGWindowBounds},
            {kCGWindowName, copied::kCGWindowName},
            {kAXTrustedCheckOptionPrompt, copied::kAXTrustedCheckOptionPrompt}};
        for (const auto& [key, text] : keys)
            QCOMPARE(QString::fromCFString(key), QString::fromLatin1(text));
    }
};

QTEST_GUILESS_MAIN(TestAppleValues)
#include "tst_applevalues.moc"
