#include "platform/macos/MacAccessibility.h"

#include "platform/Unresponsive.h"
#include "platform/macos/CoreFoundationRef.h"

#include <QHash>
#include <QObject>

#include <ApplicationServices/ApplicationServices.h>
#include <cmath>

namespace platform::macos {

namespace {

const QString settingsUrl =
    QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");

float seconds(std::chrono::milliseconds timeout) {
    return float(std::max<qint64>(1, timeout.count())) / 1000.0f;
}

CfRef<AXUIElementRef> applicationElement(qint32 pid, std::chrono::milliseconds timeout) {
    auto element = CfRef<AXUIElementRef>::adopt(AXUIElementCreateApplication(pid_t(pid)));
    if (element)
        AXUIElementSetMessagingTimeout(element.get(), seconds(timeout));
    return element;
}

// Whether the `turn`th check of a silent application asks it: after 1, 2, 4 and 8 s, then every
// 8 s. Each ask may cost the UI thread a whole time-out, so asking at every check would cost one
// per check for as long as the application stays silent.
bool asks(int turn) {
    constexpr int every = 16;
    return turn >= every ? turn % every == 0 : turn > 1 && (turn & (turn - 1)) == 0;
}

// Asks a silent application once. On the UI thread, as every call into the accessibility interface
// is: the call gives up after the application's time-out.
Unresponsive::Answer ask(qint32 pid, std::chrono::milliseconds timeout) {
    const CfRef<AXUIElementRef> application = applicationElement(pid, timeout);
    if (!application)
        return Unresponsive::Answer::Gone;
    const CfRef<CFStringRef> role = cfString(QStringLiteral("AXRole"));
    CfRef<CFTypeRef> value;
    const AXError error = AXUIElementCopyAttributeValue(application.get(), role.get(), value.out());
    if (error == kAXErrorCannotComplete)
        return Unresponsive::Answer::Silent;
    return error == kAXErrorInvalidUIElement ? Unresponsive::Answer::Gone : Unresponsive::Answer::Answered;
}

} // namespace

struct MacAccessibility::Shared {
    Unresponsive record;
    // The checks each silent application has had since it stopped answering.
    QHash<qint32, int> turns;

    static QString key(qint32 pid) { return QString::number(pid); }

    // False, and the application on the record, when it did not answer in time.
    bool answered(AXError error, qint32 pid, std::chrono::milliseconds timeout) {
        if (error == kAXErrorCannotComplete && !record.isSilent(key(pid))) {
            turns.insert(pid, 0);
            record.silenced(key(pid), [this, pid, timeout](QObject* context, auto told) {
                const Unresponsive::Answer answer =
                    asks(++turns[pid]) ? ask(pid, timeout) : Unresponsive::Answer::Silent;
                // Told once this check has returned: the answer may end the record's entry for it.
                QMetaObject::invokeMethod(
                    context, [told, answer] { told(answer); }, Qt::QueuedConnection);
            });
        }
        return error == kAXErrorSuccess;
    }
};

namespace {

// One element of another application, holding one reference to it until its last copy goes.
class Element final : public AXElement {
public:
    Element(std::shared_ptr<MacAccessibility::Shared> shared, qint32 pid, std::chrono::milliseconds timeout,
            CfRef<AXUIElementRef> element, bool application)
        : m_shared(std::move(shared)), m_pid(pid), m_timeout(timeout), m_element(std::move(element)),
          m_application(application) {}

    bool isApplication() const { return m_application; }
    AXUIElementRef get() const { return m_element.get(); }
    bool silent() const { return m_shared->record.isSilent(MacAccessibility::Shared::key(m_pid)); }
    bool answered(AXError error) { return m_shared->answered(error, m_pid, m_timeout); }

    AXElementRef wrap(AXUIElementRef element) const {
        // A time-out set on one element holds for that element alone: any other falls back to the
        // interface's default of several seconds.
        AXUIElementSetMessagingTimeout(element, seconds(m_timeout));
        return std::make_shared<Element>(m_shared, m_pid, m_timeout, CfRef<AXUIElementRef>::retain(element),
                                         false);
    }

    std::optional<AXValue> attribute(const QString& name) override {
        if (silent())
            return std::nullopt;
        CfRef<CFTypeRef> value;
        if (!answered(AXUIElementCopyAttributeValue(m_element.get(), cfString(name).get(), value.out())) ||
            !value)
            return std::nullopt;
        return read(value.get());
    }

    bool setAttribute(const QString& name, const AXValue& value) override {
        if (silent())
            return false;
        const CfRef<CFTypeRef> written = write(value);
        return written &&
               answered(AXUIElementSetAttributeValue(m_element.get(), cfString(name).get(), written.get()));
    }

    bool performAction(const QString& name) override {
        return !silent() && answered(AXUIElementPerformAction(m_element.get(), cfString(name).get()));
    }

private:
    // The port's kinds; any other value is none.
    std::optional<AXValue> read(CFTypeRef value) const {
        const CFTypeID type = CFGetTypeID(value);
        if (type == CFBooleanGetTypeID())
            return AXValue(bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value))));
        if (type == CFNumberGetTypeID()) {
            double number = 0;
            CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &number);
            return AXValue(number);
        }
        if (type == CFStringGetTypeID())
            return AXValue(*qString(value));
        if (type == AXValueGetTypeID()) {
            const auto boxed = static_cast<AXValueRef>(value);
            CGPoint point;
            CGSize size;
            if (AXValueGetType(boxed) == kAXValueTypeCGPoint &&
                AXValueGetValue(boxed, kAXValueTypeCGPoint, &point))
                return AXValue(QPointF(point.x, point.y));
            if (AXValueGetType(boxed) == kAXValueTypeCGSize &&
                AXValueGetValue(boxed, kAXValueTypeCGSize, &size))
                return AXValue(QSizeF(size.width, size.height));
            return std::nullopt;
        }
        if (type == AXUIElementGetTypeID())
            return AXValue(wrap(static_cast<AXUIElementRef>(value)));
        if (type == CFArrayGetTypeID()) {
            const auto array = static_cast<CFArrayRef>(value);
            QList<AXElementRef> elements;
            const CFIndex count = CFArrayGetCount(array);
            for (CFIndex i = 0; i < count; ++i) {
                const CFTypeRef item = CFArrayGetValueAtIndex(array, i);
                // A list holding anything but elements is not a list of elements.
                if (!item || CFGetTypeID(item) != AXUIElementGetTypeID())
                    return std::nullopt;
                elements.append(wrap(static_cast<AXUIElementRef>(item)));
            }
            return AXValue(elements);
        }
        return std::nullopt;
    }

    // What the accessibility interface takes for a value; none for a list, which nothing writes.
    static CfRef<CFTypeRef> write(const AXValue& value) {
        if (const bool* flag = std::get_if<bool>(&value))
            return CfRef<CFTypeRef>::retain(*flag ? kCFBooleanTrue : kCFBooleanFalse);
        if (const double* number = std::get_if<double>(&value))
            return CfRef<CFTypeRef>::adopt(CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, number));
        if (const QString* text = std::get_if<QString>(&value)) {
            CfRef<CFStringRef> string = cfString(*text);
            return CfRef<CFTypeRef>::retain(string.get());
        }
        if (const QPointF* at = std::get_if<QPointF>(&value)) {
            const CGPoint point{CGFloat(at->x()), CGFloat(at->y())};
            return CfRef<CFTypeRef>::adopt(AXValueCreate(kAXValueTypeCGPoint, &point));
        }
        if (const QSizeF* extent = std::get_if<QSizeF>(&value)) {
            const CGSize size{CGFloat(extent->width()), CGFloat(extent->height())};
            return CfRef<CFTypeRef>::adopt(AXValueCreate(kAXValueTypeCGSize, &size));
        }
        if (const AXElementRef* element = std::get_if<AXElementRef>(&value)) {
            if (const auto* mac = dynamic_cast<const Element*>(element->get()))
                return CfRef<CFTypeRef>::retain(mac->get());
        }
        return {};
    }

    std::shared_ptr<MacAccessibility::Shared> m_shared;
    qint32 m_pid;
    std::chrono::milliseconds m_timeout;
    CfRef<AXUIElementRef> m_element;
    bool m_application;
};

} // namespace

MacAccessibility::MacAccessibility() : d(std::make_shared<Shared>()) {}

MacAccessibility::~MacAccessibility() = default;

bool MacAccessibility::isTrusted() {
    return AXIsProcessTrusted();
}

bool MacAccessibility::requestTrust() {
    const void* keys[] = {kAXTrustedCheckOptionPrompt};
    const void* values[] = {kCFBooleanTrue};
    const auto options = CfRef<CFDictionaryRef>::adopt(CFDictionaryCreate(kCFAllocatorDefault, keys, values,
                                                                          1, &kCFTypeDictionaryKeyCallBacks,
                                                                          &kCFTypeDictionaryValueCallBacks));
    return AXIsProcessTrustedWithOptions(options.get());
}

bool MacAccessibility::openSettings() {
    const auto url = CfRef<CFURLRef>::adopt(
        CFURLCreateWithString(kCFAllocatorDefault, cfString(settingsUrl).get(), nullptr));
    return url && LSOpenCFURLRef(url.get(), nullptr) == noErr;
}

AXElementRef MacAccessibility::application(qint32 pid, std::chrono::milliseconds timeout) {
    CfRef<AXUIElementRef> element = applicationElement(pid, timeout);
    if (!element)
        return nullptr;
    return std::make_shared<Element>(d, pid, timeout, std::move(element), true);
}

AXElementRef MacAccessibility::elementAt(const AXElementRef& application, float x, float y) {
    auto* app = dynamic_cast<Element*>(application.get());
    if (!app || !app->isApplication() || app->silent() || !std::isfinite(x) || !std::isfinite(y))
        return nullptr;
    CfRef<AXUIElementRef> found;
    if (!app->answered(AXUIElementCopyElementAtPosition(app->get(), x, y, found.out())) || !found)
        return nullptr;
    return app->wrap(found.get());
}

const void* nativeElement(const AXElementRef& element) {
    const auto* mac = dynamic_cast<const Element*>(element.get());
    return mac ? mac->get() : nullptr;
}

} // namespace platform::macos
