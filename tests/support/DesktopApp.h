#pragma once

#include "platform/Targeting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cmath>

// A real application of the Linux desktop run by a test on the private test desktop
// (scripts/with-desktop.sh): GTK 3's widget factory, GTK 4's demo, a Qt 6 application (qt6ct), or
// the test page (tests/fixtures/page.html) in Firefox or Chromium. Each gets a home and profile of
// its own, so nothing of the machine's is read or written, and the browsers stay off the network.
class DesktopApp {
public:
    enum Kind { Gtk3, Gtk4, Qt6, Firefox, Chromium };

    // At `scale` the application draws with that many device pixels to each of its own (GDK_SCALE,
    // QT_SCALE_FACTOR, the browser's device scale). Chromium starts with its web pages' tree bare
    // unless `arguments` ask otherwise (--force-renderer-accessibility).
    explicit DesktopApp(Kind kind, double scale = 1, QStringList arguments = {})
        : m_kind(kind), m_scale(scale), m_arguments(std::move(arguments)) {}
    ~DesktopApp() { stop(); }
    DesktopApp(const DesktopApp&) = delete;
    DesktopApp& operator=(const DesktopApp&) = delete;

    static QString page() { return QStringLiteral(TALLYRIG_TEST_FIXTURES "/page.html"); }
    // The scale the test desktop gives applications: the toolkit scale of the test itself.
    static double desktopScale() {
        return qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    }

    Kind kind() const { return m_kind; }
    qint32 pid() const { return qint32(m_process.processId()); }
    bool isWeb() const { return m_kind == Firefox || m_kind == Chromium; }
    // The name of the program it runs.
    QString program() const {
        switch (m_kind) {
        case Gtk3:
            return QStringLiteral("gtk3-widget-factory");
        case Gtk4:
            return QStringLiteral("gtk4-demo");
        case Qt6:
            return QStringLiteral("qt6ct");
        case Firefox:
            return QStringLiteral("firefox-esr");
        case Chromium:
            return QStringLiteral("chromium");
        }
        return {};
    }

    // Its front normal window on screen; none while it shows none.
    std::optional<platform::WindowEntry> window(platform::WindowList& windows) const {
        for (const auto& entry : windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{})) {
            if (entry.ownerPid == pid() && entry.layer == 0 && entry.number && entry.bounds &&
                entry.clientBounds)
                return entry;
        }
        return std::nullopt;
    }

    // Extents of an element as its application reports them over AT-SPI (atspi_probe.py), in the
    // test's logical pixels. It runs at the test's own scale, so its pixels are ours; but GTK 4
    // counts them from its window's content corner, `content`, and Chromium gives a page's in
    // device pixels.
    QRectF logical(const QJsonArray& extents, const QPointF& content) const {
        const double device = m_kind == Chromium ? m_scale : 1;
        QRectF rect(extents.at(0).toDouble() / device, extents.at(1).toDouble() / device,
                    extents.at(2).toDouble() / device, extents.at(3).toDouble() / device);
        if (m_kind == Gtk4)
            rect.translate(content);
        return rect;
    }

    // Starts it and waits, for at most `limit`, until one of its windows is on screen and its
    // accessibility tree answers with at least its windows.
    bool start(const platform::TargetingPorts& ports,
               std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path() + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.path() + QStringLiteral("/.cache"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QStringLiteral("/.local/share"));
        environment.remove(QStringLiteral("QT_SCALE_FACTOR"));
        environment.remove(QStringLiteral("GDK_SCALE"));
        environment.remove(QStringLiteral("NO_AT_BRIDGE"));
        const QString scale = QString::number(m_scale);
        QStringList arguments;
        switch (m_kind) {
        case Gtk3:
        case Gtk4:
            environment.insert(QStringLiteral("GDK_SCALE"), QString::number(std::lround(m_scale)));
            break;
        case Qt6:
            environment.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            break;
        case Firefox:
            environment.insert(QStringLiteral("GDK_SCALE"), QString::number(std::lround(m_scale)));
            QFile::copy(QStringLiteral(TALLYRIG_TEST_FIXTURES "/firefox-user.js"),
                        m_home.path() + QStringLiteral("/user.js"));
            arguments = {QStringLiteral("--profile"),
                         m_home.path(),
                         QStringLiteral("--no-remote"),
                         QStringLiteral("--new-instance"),
                         QStringLiteral("-width"),
                         QStringLiteral("900"),
                         QStringLiteral("-height"),
                         QStringLiteral("700"),
                         page()};
            break;
        case Chromium:
            // As root only without its sandbox; without the background services, since the network
            // is closed here.
            arguments = {QStringLiteral("--no-sandbox"),
                         QStringLiteral("--disable-gpu"),
                         QStringLiteral("--disable-quic"),
                         QStringLiteral("--no-first-run"),
                         QStringLiteral("--disable-background-networking"),
                         QStringLiteral("--disable-component-update"),
                         QStringLiteral("--disable-sync"),
                         QStringLiteral("--user-data-dir=") + m_home.path() + QStringLiteral("/chromium"),
                         QStringLiteral("--force-device-scale-factor=") + scale,
                         QStringLiteral("--window-position=40,40"),
                         QStringLiteral("--window-size=900,700")};
            arguments += m_arguments;
            arguments.append(page());
            break;
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(program(), arguments);
        if (!m_process.waitForStarted(10000))
            return false;
        const auto shown = [&] {
            for (const auto& entry :
                 ports.windows.onScreenWindows().value_or(std::vector<platform::WindowEntry>{})) {
                if (entry.ownerPid == pid())
                    return true;
            }
            return false;
        };
        return QTest::qWaitFor(
            [&] {
                return m_process.state() == QProcess::Running && shown() &&
                       ports.accessibility.published(pid(), std::chrono::milliseconds(1000)) !=
                           platform::Published::Nothing;
            },
            int(limit.count()));
    }

    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    Kind m_kind;
    double m_scale;
    QStringList m_arguments;
    QTemporaryDir m_home;
    QProcess m_process;
};
