#pragma once

#include "platform/RunningApplications.h"
#include "platform/WindowSystem.h"

#include <memory>

namespace platform::macos {

// The running applications, as NSRunningApplication tells them.
class MacRunningApplications final : public RunningApplications {
public:
    std::optional<QString> bundleIdentifier(qint32 pid) override;
    bool isHidden(qint32 pid) override;
};

// The window server's part of targeting, through AppKit. The panel and the overlay live in NSPanels
// of ours that never make the application active (MacPanels.h); windows blend, so nothing shields
// the pointer.
class MacWindowSystem final : public WindowSystem {
public:
    bool compositing() override { return true; }
    quint32 number(QWindow& window) override;
    void setAuxiliary(QWindow& window) override;
    void setAcceptsFocus(QWindow& window, bool accepts) override;
    void orderAbove(QWindow& window, quint32 other) override;
    void restore(QWindow& window) override;
    void showOverlay(QWindow& window) override;
    void activate(QWindow& window) override;
    std::unique_ptr<Watch> watchEscape(std::function<void()> escape) override;
    bool escapeNeedsTrust() override { return true; }
    std::unique_ptr<PointerShield> shieldPointer(const QRectF&, PointerEvents) override { return nullptr; }
    std::optional<QPointF> pointer() override;
    QString describe(QWindow& window) override;
};

} // namespace platform::macos
