#pragma once

#include "platform/WindowSystem.h"

#include <QHash>
#include <QList>
#include <QRectF>
#include <QStringList>
#include <QWindow>

#include <functional>
#include <memory>
#include <utility>

// The window system's targeting operations in memory. Every change it is asked for is written to
// `changes`, so a test can tell that an unchanged desktop asked for none.
class FakeWindowSystem final : public platform::WindowSystem {
public:
    bool compositingManager = true;
    bool offersEscapeWatch = true;
    bool escapeWatchNeedsTrust = false;
    QStringList changes;
    // Called on every restack, after it is logged; a test moves the window in its fake list here.
    std::function<void(quint32 window, quint32 other)> restacked;

    struct Shield final : platform::PointerShield {
        Shield(FakeWindowSystem& system, QRectF area, platform::PointerEvents events)
            : system(system), area(area), events(std::move(events)) {
            system.shields.append(this);
        }
        ~Shield() override { system.shields.removeAll(this); }
        void setArea(const QRectF& to) override {
            system.changes.append(QStringLiteral("shield %1,%2").arg(to.x()).arg(to.y()));
            area = to;
        }
        FakeWindowSystem& system;
        QRectF area;
        platform::PointerEvents events;
    };
    QList<Shield*> shields;

    struct EscapeWatch final : platform::Watch {
        EscapeWatch(FakeWindowSystem& system, std::function<void()> escape)
            : system(system), escape(std::move(escape)) {
            system.escapeWatches.append(this);
        }
        ~EscapeWatch() override { system.escapeWatches.removeAll(this); }
        FakeWindowSystem& system;
        std::function<void()> escape;
    };
    QList<EscapeWatch*> escapeWatches;

    bool compositing() override { return compositingManager; }
    // Our windows go by their native ids, as on X11.
    quint32 number(QWindow& window) override { return quint32(window.winId()); }
    QHash<quint32, bool> acceptsFocus;
    void setAcceptsFocus(QWindow& window, bool accepts) override {
        acceptsFocus.insert(number(window), accepts);
    }
    void setAuxiliary(QWindow& window) override {
        changes.append(QStringLiteral("auxiliary %1").arg(number(window)));
    }
    void orderAbove(QWindow& window, quint32 other) override {
        changes.append(QStringLiteral("above %1 %2").arg(number(window)).arg(other));
        if (restacked)
            restacked(number(window), other);
    }
    void restore(QWindow& window) override {
        changes.append(QStringLiteral("restore %1").arg(number(window)));
    }
    void showOverlay(QWindow& window) override {
        changes.append(QStringLiteral("overlay %1").arg(number(window)));
    }
    void activate(QWindow& window) override {
        changes.append(QStringLiteral("activate %1").arg(number(window)));
    }
    std::unique_ptr<platform::Watch> watchEscape(std::function<void()> escape) override {
        if (!offersEscapeWatch)
            return nullptr;
        return std::make_unique<EscapeWatch>(*this, std::move(escape));
    }
    bool escapeNeedsTrust() override { return escapeWatchNeedsTrust; }
    std::unique_ptr<platform::PointerShield> shieldPointer(const QRectF& area,
                                                           platform::PointerEvents events) override {
        return std::make_unique<Shield>(*this, area, std::move(events));
    }
    std::optional<QPointF> mouse;
    std::optional<QPointF> pointer() override { return mouse; }
    // Other applications' windows as PNG, by number.
    QHash<quint32, QByteArray> pictures;
    QByteArray picture(quint32 window) override { return pictures.value(window); }

    // Escape pressed in whichever application has the keyboard.
    void pressEscape() {
        const QList<EscapeWatch*> watches = escapeWatches;
        for (EscapeWatch* watch : watches) {
            if (escapeWatches.contains(watch))
                watch->escape();
        }
    }
};
