#pragma once

#include "support/FakeDesktop.h"

#include <QCoreApplication>
#include <QRectF>

#include <algorithm>

// The Simulator on a desktop of fakes: one device window whose accessibility agrees with the window
// list, a device screen, and two controls on it. The window list is front to back.
struct FakeSimulator {
    static constexpr qint32 pid = 500;
    static constexpr quint32 number = 7;
    static constexpr quint32 otherNumber = 3;
    // This process's windows carry their own numbers; they are listed as the window system restacks them.
    static inline const QString title = QStringLiteral("iPhone 15 Pro \u2013 iOS 17.2");

    FakeDesktop& desktop;
    QRectF frame{100, 50, 420, 860};
    QRectF screenRect{130, 130, 360, 740};
    QRectF saveFrame{150, 400, 320, 44};
    QRectF cardFrame{300, 600, 230, 80}; // runs past the screen's right edge
    std::shared_ptr<FakeAXElement> window;
    std::shared_ptr<FakeAXElement> screen;
    std::shared_ptr<FakeAXElement> save;
    std::shared_ptr<FakeAXElement> card;

    explicit FakeSimulator(FakeDesktop& desktop) : desktop(desktop) {
        desktop.applications.identifiers.insert(pid, QStringLiteral("com.apple.iphonesimulator"));
        window = desktop.element(QStringLiteral("win"));
        window->set("AXSubrole", QStringLiteral("AXStandardWindow"))
            .set("AXIdentifier", QStringLiteral("deviceWindow-1"))
            .set("AXTitle", title);
        screen = desktop.element(QStringLiteral("screen"));
        screen->set("AXRole", QStringLiteral("AXGroup")).set("AXSubrole", QStringLiteral("iOSContentGroup"));
        save = desktop.element(QStringLiteral("save"));
        save->set("AXRole", QStringLiteral("AXButton"))
            .set("AXIdentifier", QStringLiteral("saveButton"))
            .set("AXDescription", QStringLiteral("Save"))
            .setFrame(saveFrame);
        card = desktop.element(QStringLiteral("card"));
        card->set("AXRole", QStringLiteral("AXButton"))
            .set("AXDescription", QStringLiteral("Upgrade"))
            .setFrame(cardFrame);
        screen->setChildren({save, card});
        window->setChildren({screen});
        desktop.application(pid).set("AXWindows", QList<platform::AXElementRef>{window});
        desktop.accessibility.hit = [this](float x, float y) -> platform::AXElementRef {
            const QPointF point(x, y);
            for (const auto& element : {save, card}) {
                if (element == card ? cardFrame.contains(point) : saveFrame.contains(point))
                    return element;
            }
            return screenRect.contains(point) ? screen : nullptr;
        };
        moveTo(frame);
    }

    // The window moved here, keeping its place in the stacking order; in front of every window when
    // it was not listed.
    void moveTo(const QRectF& to) {
        const QPointF by = to.topLeft() - frame.topLeft();
        frame = to;
        screenRect.translate(by);
        saveFrame.translate(by);
        cardFrame.translate(by);
        window->setFrame(frame);
        screen->setFrame(screenRect);
        save->setFrame(saveFrame);
        card->setFrame(cardFrame);
        auto& entries = *desktop.windows.entries;
        const auto listed = std::find_if(entries.begin(), entries.end(),
                                         [](const platform::WindowEntry& e) { return e.number == number; });
        if (listed != entries.end())
            listed->bounds = frame;
        else
            entries.insert(entries.begin(), FakeWindowList::entry(pid, number, frame));
    }

    // Another application's window comes directly in front of the Simulator's.
    void anotherWindowInFront() {
        auto& entries = *desktop.windows.entries;
        const auto at = std::find_if(entries.begin(), entries.end(),
                                     [](const platform::WindowEntry& e) { return e.number == number; });
        entries.insert(at, FakeWindowList::entry(100, otherNumber, QRectF(0, 0, 800, 600)));
    }

    // The Simulator's window comes in front of every other window.
    void raise() {
        auto& entries = *desktop.windows.entries;
        const auto at = std::find_if(entries.begin(), entries.end(),
                                     [](const platform::WindowEntry& e) { return e.number == number; });
        if (at == entries.end())
            return;
        const platform::WindowEntry entry = *at;
        entries.erase(at);
        entries.insert(entries.begin(), entry);
    }

    // One of this process's windows shown (listed in front of every other, as a window manager maps
    // a new window) or hidden.
    void listOurs(quint32 window, bool shown) {
        auto& entries = *desktop.windows.entries;
        std::erase_if(entries, [&](const platform::WindowEntry& e) { return e.number == window; });
        if (shown)
            entries.insert(entries.begin(), FakeWindowList::entry(qint32(QCoreApplication::applicationPid()),
                                                                  window, QRectF()));
    }

    void quit() {
        std::erase_if(*desktop.windows.entries,
                      [](const platform::WindowEntry& e) { return e.ownerPid == pid; });
    }

    // Answers a restack the way a window manager does: `ours` goes directly in front of `other`.
    void restack(quint32 ours, quint32 other) {
        auto& entries = *desktop.windows.entries;
        std::erase_if(entries, [&](const platform::WindowEntry& e) { return e.number == ours; });
        const auto below = std::find_if(entries.begin(), entries.end(),
                                        [&](const platform::WindowEntry& e) { return e.number == other; });
        entries.insert(below,
                       FakeWindowList::entry(qint32(QCoreApplication::applicationPid()), ours, QRectF()));
    }
};
