#include "platform/macos/MacApplications.h"

#include "foundation/Geometry.h"
#include "platform/macos/MacPanels.h"

#include <QWindow>

#import <AppKit/AppKit.h>

namespace platform::macos {

namespace {

constexpr unsigned short escapeKeyCode = 53;

QString text(NSString* string) {
    return string ? QString::fromUtf8([string UTF8String]) : QString();
}

NSWindow* nativeWindow(QWindow& window) {
    // The toolkit's window id is its view there, not a number.
    NSView* view = reinterpret_cast<NSView*>(window.winId());
    return view ? [view window] : nil;
}

class EscapeMonitor final : public Watch {
public:
    explicit EscapeMonitor(std::function<void()> escape)
        : m_escape(std::make_shared<std::function<void()>>(std::move(escape))) {
        std::weak_ptr<std::function<void()>> escapeWeak = m_escape;
        // Keys sent to other applications, seen only while this one is trusted for accessibility;
        // the key still reaches them.
        id global = [NSEvent addGlobalMonitorForEventsMatchingMask:NSEventMaskKeyDown
                                                           handler:^(NSEvent* event) {
                                                             if ([event keyCode] != escapeKeyCode)
                                                                 return;
                                                             if (auto escape = escapeWeak.lock())
                                                                 (*escape)();
                                                           }];
        // Keys sent to our own windows (the panel, the overlay), which the global monitor never
        // sees; they go on to the window as before.
        id local = [NSEvent addLocalMonitorForEventsMatchingMask:NSEventMaskKeyDown
                                                         handler:^NSEvent*(NSEvent* event) {
                                                           if ([event keyCode] == escapeKeyCode) {
                                                               if (auto escape = escapeWeak.lock())
                                                                   (*escape)();
                                                           }
                                                           return event;
                                                         }];
        m_monitors[0] = [global retain];
        m_monitors[1] = [local retain];
    }
    ~EscapeMonitor() override {
        for (id monitor : m_monitors) {
            if (monitor) {
                [NSEvent removeMonitor:monitor];
                [monitor release];
            }
        }
    }

private:
    std::shared_ptr<std::function<void()>> m_escape;
    id m_monitors[2] = {nil, nil};
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
    // A window without a window device has a number of 0 or less.
    NSWindow* native = nativeWindow(window);
    const NSInteger number = native ? [native windowNumber] : 0;
    return number > 0 ? quint32(number) : 0;
}

QString MacWindowSystem::describe(QWindow& window) {
    NSWindow* native = nativeWindow(window);
    if (!native)
        return {};
    const bool panel = [native isKindOfClass:[NSPanel class]];
    return QStringLiteral("%1, level %2, style mask 0x%3, non-activating %4, collection behaviour %5, "
                          "becomes key only if needed %6")
        .arg(panel ? QStringLiteral("a panel") : QStringLiteral("a window"))
        .arg(qint64([native level]))
        .arg(quint64([native styleMask]), 0, 16)
        .arg(([native styleMask] & NSWindowStyleMaskNonactivatingPanel) ? QStringLiteral("yes")
                                                                        : QStringLiteral("no"))
        .arg(quint64([native collectionBehavior]))
        .arg(panel && [(NSPanel*)native becomesKeyOnlyIfNeeded] ? QStringLiteral("yes")
                                                                : QStringLiteral("no"));
}

void MacWindowSystem::setAuxiliary(QWindow& window) {
    hostInPanel(window, PanelKind::Panel);
}

void MacWindowSystem::setAcceptsFocus(QWindow& window, bool accepts) {
    if (auto* panel = (NSPanel*)nativeWindow(window); [panel isKindOfClass:[NSPanel class]])
        [panel setBecomesKeyOnlyIfNeeded:accepts ? NO : YES];
}

void MacWindowSystem::orderAbove(QWindow& window, quint32 other) {
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
    [hostInPanel(window, PanelKind::Overlay) orderFrontRegardless];
}

void MacWindowSystem::activate(QWindow& window) {
    // A non-activating panel takes the keyboard without making the application active.
    NSWindow* native = nativeWindow(window);
    [native makeFirstResponder:reinterpret_cast<NSView*>(window.winId())];
    [native makeKeyAndOrderFront:nil];
}

std::unique_ptr<Watch> MacWindowSystem::watchEscape(std::function<void()> escape) {
    return std::make_unique<EscapeMonitor>(std::move(escape));
}

std::optional<QPointF> MacWindowSystem::pointer() {
    @autoreleasepool {
        // Without a screen there is nothing to convert from, nor a pointer on one.
        NSArray* screens = [NSScreen screens];
        if ([screens count] == 0)
            return std::nullopt;
        const double primaryHeight = [[screens objectAtIndex:0] frame].size.height;
        const NSPoint location = [NSEvent mouseLocation];
        return Geometry::cocoa(QPointF(location.x, location.y), primaryHeight);
    }
}

} // namespace platform::macos
