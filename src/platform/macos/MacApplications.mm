#include "platform/macos/MacApplications.h"

#include "foundation/Geometry.h"

#include <QEvent>
#include <QObject>
#include <QWindow>

#import <AppKit/AppKit.h>

namespace platform::macos {

namespace {

// A window that can move to the active space and stand beside full-screen windows.
constexpr NSWindowCollectionBehavior panelBehaviour =
    NSWindowCollectionBehavior(NSWindowCollectionBehaviorMoveToActiveSpace) |
    NSWindowCollectionBehavior(NSWindowCollectionBehaviorFullScreenAuxiliary);
constexpr unsigned short escapeKeyCode = 53;

QString text(NSString* string) {
    return string ? QString::fromUtf8([string UTF8String]) : QString();
}

NSWindow* nativeWindow(QWindow& window) {
    // The toolkit's window id is its view there, not a number.
    NSView* view = reinterpret_cast<NSView*>(window.winId());
    return view ? [view window] : nil;
}

// What makes our panel a panel: clicking it leaves the Simulator the active application, and it
// takes the keyboard only for a control that types. The toolkit sets style, level and hiding each
// time it creates or re-flags the window, so this is put back after it does.
void applyPanel(QWindow& window) {
    NSWindow* native = nativeWindow(window);
    if (![native isKindOfClass:[NSPanel class]])
        return;
    NSPanel* panel = (NSPanel*)native;
    [panel setStyleMask:[panel styleMask] | NSWindowStyleMaskNonactivatingPanel];
    [panel setBecomesKeyOnlyIfNeeded:YES];
    [panel setHidesOnDeactivate:NO];
    [panel setCollectionBehavior:panelBehaviour];
    [panel setLevel:NSNormalWindowLevel];
}

// Puts the panel's properties back whenever the toolkit has shown the window anew.
class PanelKeeper final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose || event->type() == QEvent::Show) {
            if (auto* window = qobject_cast<QWindow*>(watched))
                applyPanel(*window);
        }
        return QObject::eventFilter(watched, event);
    }
};

PanelKeeper& panelKeeper() {
    static PanelKeeper keeper;
    return keeper;
}

class EscapeMonitor final : public Watch {
public:
    explicit EscapeMonitor(std::function<void()> escape)
        : m_escape(std::make_shared<std::function<void()>>(std::move(escape))) {
        std::weak_ptr<std::function<void()>> escapeWeak = m_escape;
        // Keys sent to other applications only; the key still reaches them.
        id monitor = [NSEvent addGlobalMonitorForEventsMatchingMask:NSEventMaskKeyDown
                                                            handler:^(NSEvent* event) {
                                                              if ([event keyCode] != escapeKeyCode)
                                                                  return;
                                                              if (auto escape = escapeWeak.lock())
                                                                  (*escape)();
                                                            }];
        m_monitor = [monitor retain];
    }
    ~EscapeMonitor() override {
        if (m_monitor) {
            [NSEvent removeMonitor:m_monitor];
            [m_monitor release];
        }
    }

private:
    std::shared_ptr<std::function<void()>> m_escape;
    id m_monitor = nil;
};

} // namespace

std::optional<QString> MacRunningApplications::bundleIdentifier(qint32 pid) {
    @autoreleasepool {
        NSRunningApplication* application =
            [NSRunningApplication runningApplicationWithProcessIdentifier:pid_t(pid)];
        NSString* identifier = application ? [application bundleIdentifier] : nil;
        if (!identifier)
            return std::nullopt;
        return text(identifier);
    }
}

bool MacRunningApplications::isHidden(qint32 pid) {
    @autoreleasepool {
        NSRunningApplication* application =
            [NSRunningApplication runningApplicationWithProcessIdentifier:pid_t(pid)];
        return application && [application isHidden];
    }
}

quint32 MacWindowSystem::number(QWindow& window) {
    NSWindow* native = nativeWindow(window);
    return native ? quint32([native windowNumber]) : 0;
}

void MacWindowSystem::setAuxiliary(QWindow& window) {
    // The toolkit makes an NSPanel of a dialog window, on its normal level and shown after the
    // application is deactivated; the window becomes one the next time it is shown.
    if (window.type() != Qt::Dialog)
        window.setFlags((window.flags() & ~Qt::WindowType_Mask) | Qt::Dialog);
    window.installEventFilter(&panelKeeper());
    applyPanel(window);
}

void MacWindowSystem::setAcceptsFocus(QWindow& window, bool accepts) {
    applyPanel(window);
    if (auto* panel = (NSPanel*)nativeWindow(window); [panel isKindOfClass:[NSPanel class]])
        [panel setBecomesKeyOnlyIfNeeded:accepts ? NO : YES];
}

void MacWindowSystem::orderAbove(QWindow& window, quint32 other) {
    applyPanel(window);
    // Ordering, unlike the toolkit's raise(), leaves the active application as it is.
    [nativeWindow(window) orderWindow:NSWindowAbove relativeTo:NSInteger(other)];
}

void MacWindowSystem::restore(QWindow& window) {
    // A window merely covered by others is still on screen, and stays where it is.
    NSWindow* native = nativeWindow(window);
    if ([native isMiniaturized])
        [native deminiaturize:nil];
    else if (![native isVisible])
        [native orderFront:nil];
}

void MacWindowSystem::showOverlay(QWindow& window) {
    // Above the Simulator's windows, and clicked without taking the Simulator's place as the active
    // application: the toolkit's raise() would activate this one, and bring its main window along.
    NSWindow* native = nativeWindow(window);
    if ([native isKindOfClass:[NSPanel class]])
        [native setStyleMask:[native styleMask] | NSWindowStyleMaskNonactivatingPanel];
    [native setLevel:NSFloatingWindowLevel];
    [native orderFrontRegardless];
}

void MacWindowSystem::activate(QWindow& window) {
    // A non-activating panel takes the keyboard without making the application active.
    [nativeWindow(window) makeKeyAndOrderFront:nil];
}

std::unique_ptr<Watch> MacWindowSystem::watchEscape(std::function<void()> escape) {
    return std::make_unique<EscapeMonitor>(std::move(escape));
}

std::optional<QPointF> MacWindowSystem::pointer() {
    @autoreleasepool {
        NSArray* screens = [NSScreen screens];
        const double primaryHeight = [screens count] > 0 ? [[screens objectAtIndex:0] frame].size.height : 0;
        const NSPoint location = [NSEvent mouseLocation];
        return Geometry::cocoa(QPointF(location.x, location.y), primaryHeight);
    }
}

} // namespace platform::macos
