#include "platform/macos/MacPanels.h"

#include "foundation/Geometry.h"

#include <QEvent>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#import <AppKit/AppKit.h>

// A borderless panel refuses the keyboard; ours takes it when the panel controller asks.
@interface TallyrigHostPanel : NSPanel
@end

@implementation TallyrigHostPanel
- (BOOL)canBecomeKeyWindow {
    return YES;
}
- (BOOL)canBecomeMainWindow {
    return NO;
}
@end

namespace platform::macos {

namespace {

// Goes to the active space, and stands beside full-screen windows (behaviour 258).
constexpr NSWindowCollectionBehavior behaviour =
    NSWindowCollectionBehavior(NSWindowCollectionBehaviorMoveToActiveSpace) |
    NSWindowCollectionBehavior(NSWindowCollectionBehaviorFullScreenAuxiliary);

NSRect cocoaFrame(const QRect& rect) {
    NSArray* screens = [NSScreen screens];
    const double primaryHeight = [screens count] > 0 ? [[screens objectAtIndex:0] frame].size.height : 0;
    const QRectF flipped = Geometry::cocoa(QRectF(rect), primaryHeight);
    return NSMakeRect(flipped.x(), flipped.y(), flipped.width(), flipped.height());
}

// One window's panel, a child of its QWindow.
class Host final : public QObject {
public:
    Host(QWindow& window, PanelKind kind) : QObject(&window), m_window(window), m_kind(kind) {
        window.installEventFilter(this);
        connect(&window, &QWindow::visibleChanged, this, [this](bool visible) { show(visible); });
    }
    ~Host() override { release(); }

    NSPanel* take() {
        NSView* view = reinterpret_cast<NSView*>(m_window.winId());
        if (!view || (m_panel && [view window] == m_panel))
            return m_panel;
        release();
        // The toolkit places the window through its widget; its native view stays at the origin.
        m_widget = QWidget::find(m_window.winId());
        if (m_widget)
            m_widget->installEventFilter(this);
        m_panel = [[TallyrigHostPanel alloc]
            initWithContentRect:cocoaFrame(geometry())
                      styleMask:NSWindowStyleMaskBorderless | NSWindowStyleMaskNonactivatingPanel
                        backing:NSBackingStoreBuffered
                          defer:NO];
        [m_panel setReleasedWhenClosed:NO];
        [m_panel setOpaque:NO];
        [m_panel setBackgroundColor:[NSColor clearColor]];
        [m_panel setHidesOnDeactivate:NO];
        [m_panel setCollectionBehavior:behaviour];
        const bool overlay = m_kind == PanelKind::Overlay;
        [m_panel setBecomesKeyOnlyIfNeeded:YES];
        [m_panel setHasShadow:overlay ? NO : YES];
        [m_panel setLevel:overlay ? NSFloatingWindowLevel : NSNormalWindowLevel];
        // The toolkit's own window gives the view up, and leaves the screen if it was on it.
        if (NSWindow* original = [view window]) {
            [original orderOut:nil];
            [original setContentView:[[[NSView alloc] initWithFrame:[view frame]] autorelease]];
        }
        [[m_panel contentView] addSubview:view];
        [m_panel setInitialFirstResponder:view];
        [m_panel makeFirstResponder:view];
        show(m_window.isVisible());
        return m_panel;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_window && event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
            release();
        // Only what the application asked for: the toolkit reports an embedded view at the origin.
        else if (watched == m_widget && !event->spontaneous() &&
                 (event->type() == QEvent::Move || event->type() == QEvent::Resize))
            follow();
        return QObject::eventFilter(watched, event);
    }

private:
    QRect geometry() const { return m_widget ? m_widget->geometry() : m_window.geometry(); }

    void follow() {
        if (m_panel)
            [m_panel setFrame:cocoaFrame(geometry()) display:YES];
    }

    void show(bool visible) {
        if (!m_panel)
            return;
        if (!visible) {
            [m_panel orderOut:nil];
            return;
        }
        follow();
        if (m_kind == PanelKind::Overlay)
            [m_panel orderFrontRegardless];
        else
            [m_panel orderFront:nil];
    }

    // The view goes back to the toolkit before its native window does.
    void release() {
        if (!m_panel)
            return;
        [[m_panel contentView] setSubviews:[NSArray array]];
        [m_panel orderOut:nil];
        [m_panel close];
        [m_panel release];
        m_panel = nil;
        if (m_widget)
            m_widget->removeEventFilter(this);
        m_widget = nullptr;
    }

    QWindow& m_window;
    PanelKind m_kind;
    QPointer<QWidget> m_widget;
    NSPanel* m_panel = nil;
};

} // namespace

NSPanel* hostInPanel(QWindow& window, PanelKind kind) {
    Host* host = nullptr;
    for (QObject* child : window.children()) {
        if ((host = dynamic_cast<Host*>(child)))
            break;
    }
    if (!host)
        host = new Host(window, kind);
    return host->take();
}

} // namespace platform::macos
