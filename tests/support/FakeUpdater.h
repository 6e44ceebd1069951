#pragma once

#include "platform/Updater.h"

#include <QList>
#include <QPointer>
#include <QWidget>

// An Updater that only records what the app asks of it.
class FakeUpdater final : public platform::Updater {
public:
    int starts = 0;
    QList<QPointer<QWidget>> checks; // the window given to each user-initiated check

    void start() override { ++starts; }
    void checkForUpdates(QWidget* window) override { checks.append(window); }
};
