#pragma once

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

// A picture of the whole test desktop, for a person to look at: saved as <name>.png in the folder
// named by TALLYRIG_SCREENSHOTS, and nothing at all without it.
inline void desktopScreenshot(const QString& name) {
    const QString folder = qEnvironmentVariable("TALLYRIG_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    // Time for the last repaint, and the compositing manager's, to reach the screen.
    QTest::qWait(500);
    QGuiApplication::primaryScreen()->grabWindow(0).save(folder + QLatin1Char('/') + name +
                                                         QStringLiteral(".png"));
}
