#include "foundation/AppNotifications.h"
#include "foundation/Settings.h"
#include "support/TestHttpServer.h"
#include "support/TestPlatform.h"
#include "window/ConnectView.h"
#include "window/ProjectMenu.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <qcoro/qcorotask.h>

using namespace std::chrono_literals;

namespace {

const QString nbsp = QStringLiteral("\u00A0");

BridgeRuntime fakeRuntime() {
    return {QStringLiteral(TALLYRIG_TEST_FIXTURES "/fake-node.sh"),
            QStringLiteral("/fake/bridge/bin/tallyrig.mjs")};
}

QStringList texts(QWidget* root) {
    QStringList all;
    for (QLabel* label : root->findChildren<QLabel*>())
        if (label->isVisibleTo(root))
            all.append(label->accessibleName().isEmpty() ? label->text() : label->accessibleName());
    return all;
}

QList<RecentRow*> visibleRows(QWidget* root) {
    QList<RecentRow*> rows;
    for (RecentRow* row : root->findChildren<RecentRow*>())
        if (row->isVisibleTo(root))
            rows.append(row);
    return rows;
}

// The context menu that is open, once it is; null when none opens.
QMenu* openMenu() {
    const auto open = [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); };
    return QTest::qWaitFor([&] { return open() != nullptr; }, 5000) ? open() : nullptr;
}

} // namespace

class TestConnectView : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<BridgeProcess> m_bridge;
    std::unique_ptr<BridgeWindow> m_window;
    AppNotifications m_notifications;

    void make(bool carried, QStringList recents = {}) {
        static int serial = 0;
        m_window.reset();
        m_bridge.reset();
        m_settings =
            std::make_unique<Settings>(m_dir.filePath(QStringLiteral("settings%1.json").arg(++serial)));
        m_settings->setRecentProjects(recents);
        BridgeProcess::Timings timings;
        timings.probeTimeout = 300ms;
        timings.startInterval = 20ms;
        timings.stopInterval = 20ms;
        timings.loginShellWatch = 300ms;
        m_bridge = std::make_unique<BridgeProcess>(
            *m_settings, childProcesses(), carried ? std::optional(fakeRuntime()) : std::nullopt, timings);
        m_window = std::make_unique<BridgeWindow>(*m_settings, *m_bridge, m_notifications,
                                                  BridgeWindow::Timings{300ms, 50ms});
    }

    std::unique_ptr<ConnectView> view(QStringList* opened = nullptr, int* chosen = nullptr) {
        auto view = std::make_unique<ConnectView>(
            *m_window,
            [chosen] {
                if (chosen)
                    ++*chosen;
            },
            [opened](const QString& folder) {
                if (opened)
                    opened->append(folder);
            });
        view->resize(900, 800);
        view->show();
        return view;
    }

    QString folder(const QString& name) {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        return path;
    }

private slots:
    void initTestCase() {
        // A quick login shell, so building the bridge's environment takes no time.
        qputenv("SHELL", TALLYRIG_TEST_FIXTURES "/shell-plain.sh");
    }

    void withoutARuntimeTheStepsAreTheWayIn() {
        make(false, {QStringLiteral("/somewhere/app")});
        auto screen = view();
        QVERIFY(!screen->projectSection());
        QVERIFY(!screen->commandLineToggle());
        QVERIFY(screen->commandLine()->isVisible());
        QVERIFY(visibleRows(screen.get()).isEmpty());
        const QStringList shown = texts(screen.get());
        QVERIFY(shown.contains(QStringLiteral("Connect to Tallyrig")));
        QVERIFY(shown.contains(
            QStringLiteral("Point at a UI problem, describe the fix, and your local agent makes it.")));
        QVERIFY(shown.contains(QStringLiteral("First time in this repository? Run tallyrig") + nbsp +
                               QStringLiteral("init to set it up, and tallyrig") + nbsp +
                               QStringLiteral("doctor to check your agents and tools.")));
        QVERIFY(shown.contains(QStringLiteral("Running Tallyrig from its source folder instead? Use npm") +
                               nbsp + QStringLiteral("start there.")));
        QVERIFY(shown.contains(QStringLiteral("Waiting for a bridge on port 4747\u2026")));
        QStringList steps;
        for (Step* step : screen->findChildren<Step*>())
            steps.append(step->accessibleName());
        QCOMPARE(steps, (QStringList{QStringLiteral("Step 1: Start the bridge in your app\u2019s repository"),
                                     QStringLiteral("Step 2: Connect to its port")}));
        for (QWidget* widget : screen->findChildren<QWidget*>())
            QVERIFY2(widget->isEnabled(), qPrintable(widget->metaObject()->className()));
    }

    void withARuntimeTheStepsWaitBehindTheDisclosure() {
        make(true);
        auto screen = view();
        QVERIFY(screen->projectSection()->isVisible());
        QCOMPARE(screen->commandLineToggle()->text(), QStringLiteral("Use the command line instead"));
        QVERIFY(!screen->commandLine());
        screen->commandLineToggle()->click();
        QVERIFY(screen->commandLine()->isVisible());
        auto* open = screen->findChild<QPushButton*>();
        QCOMPARE(open->text(), QStringLiteral("Open Project\u2026"));
        QCOMPARE(open->shortcut(), QKeySequence(QKeySequence::Open));

        // The expanded state belongs to this screen only.
        auto again = view();
        QVERIFY(!again->commandLine());
        // Folding hides the steps again.
        screen->commandLineToggle()->click();
        QVERIFY(!screen->commandLine()->isVisible());
    }

    void recentProjectsShowFolderAndHomeRelativeParent() {
        const QString inside = QDir::homePath() + QStringLiteral("/work/app");
        make(true, {inside, QStringLiteral("/srv/checkouts/shop")});
        QStringList opened;
        auto screen = view(&opened);
        const auto rows = visibleRows(screen.get());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0]->text(), QStringLiteral("app"));
        QCOMPARE(rows[0]->accessibleDescription(), QStringLiteral("~/work"));
        QCOMPARE(rows[1]->text(), QStringLiteral("shop"));
        QCOMPARE(rows[1]->accessibleDescription(), QStringLiteral("/srv/checkouts"));
        QVERIFY(texts(screen.get()).contains(QStringLiteral("Recent")));
        rows[1]->click();
        QCOMPARE(opened, QStringList{QStringLiteral("/srv/checkouts/shop")});
    }

    void parentTextReplacesOnlyAWholeHomeFolder() {
        const QString home = QDir::homePath();
        QCOMPARE(RecentRow::parentText(home + QStringLiteral("/app")), QStringLiteral("~"));
        QCOMPARE(RecentRow::parentText(home + QStringLiteral("2/app")), home + QStringLiteral("2"));
        QCOMPARE(RecentRow::parentText(QStringLiteral("/opt/app")), QStringLiteral("/opt"));
    }

    void removeFromRecentForgetsTheFolder() {
        make(true, {QStringLiteral("/a/one"), QStringLiteral("/a/two")});
        auto screen = view();
        RecentRow* row = visibleRows(screen.get()).first();
        emit row->customContextMenuRequested(QPoint(5, 5));
        QMenu* menu = openMenu();
        QVERIFY(menu);
        QCOMPARE(menu->actions().value(0)->text(), QStringLiteral("Remove from Recent"));
        menu->actions().value(0)->trigger();
        menu->close();
        QCOMPARE(m_bridge->recents(), QStringList{QStringLiteral("/a/two")});
        QCOMPARE(m_settings->recentProjects(), QStringList{QStringLiteral("/a/two")});
        QTRY_COMPARE(visibleRows(screen.get()).size(), 1);

        emit visibleRows(screen.get()).first()->customContextMenuRequested(QPoint(5, 5));
        menu = openMenu();
        QVERIFY(menu);
        menu->actions().value(0)->trigger();
        menu->close();
        // No rows and no heading once the list is empty.
        QTRY_VERIFY(visibleRows(screen.get()).isEmpty());
        QVERIFY(!texts(screen.get()).contains(QStringLiteral("Recent")));
    }

    void theBridgeStateShowsInTheProjectSection() {
        make(true);
        auto screen = view();
        const QString project = folder(QStringLiteral("notes"));
        qputenv("TALLYRIG_FAKE_INIT", "six-lines");
        QCoro::waitFor(m_bridge->open(project));
        qunsetenv("TALLYRIG_FAKE_INIT");
        QTRY_VERIFY(screen->findChild<QLabel*>(QStringLiteral("failureMessage")));
        auto* failure = screen->findChild<QLabel*>(QStringLiteral("failureMessage"));
        QCOMPARE(failure->text(), QStringLiteral("b\nc\nd\ne"));
        QVERIFY(failure->textInteractionFlags() & Qt::TextSelectableByMouse);

        // A bridge that starts and never answers shows the start line with a spinner.
        const QString slow = folder(QStringLiteral("slow"));
        QFile config(slow + QStringLiteral("/tallyrig.config.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("{\"port\": %1}").arg(TestHttpServer::freePort()).toUtf8());
        config.close();
        auto opening = m_bridge->open(slow);
        QTRY_VERIFY(texts(screen.get()).contains(QStringLiteral("Starting the bridge for slow\u2026")));
        QVERIFY(screen->projectSection()->findChild<Spinner*>());
        QCoro::waitFor(m_bridge->stop());
        QCoro::waitFor(opening);
        QTRY_VERIFY(!screen->findChild<QLabel*>(QStringLiteral("failureMessage")));
        QVERIFY(!texts(screen.get()).contains(QStringLiteral("Starting the bridge for slow\u2026")));
    }

    void copyPutsExactlyTheCommandOnTheClipboardAndConfirms() {
        make(false);
        auto screen = view();
        auto* row = screen->findChild<CommandRow*>();
        QCOMPARE(row->copyButton()->toolTip(), QStringLiteral("Copy tallyrig start"));
        QCOMPARE(row->copyButton()->accessibleName(), QStringLiteral("Copy"));
        QApplication::clipboard()->setText(QStringLiteral("something else"));
        row->copyButton()->click();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("tallyrig start"));
        QCOMPARE(row->copyButton()->accessibleName(), QStringLiteral("Copied"));
        QVERIFY(row->copied());
        QTRY_COMPARE_WITH_TIMEOUT(row->copyButton()->accessibleName(), QStringLiteral("Copy"), 4000);
        QVERIFY(!row->copied());
    }

    void portFieldCommitsOnReturnAndConnects() {
        make(false);
        auto screen = view();
        QLineEdit* field = screen->portField();
        QCOMPARE(field->accessibleName(), QStringLiteral("Bridge port"));
        QCOMPARE(field->text(), QStringLiteral("4747"));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("70000"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(m_settings->bridgePort(), 70000);
        QCOMPARE(field->text(), QStringLiteral("70000"));
        QCOMPARE(m_window->status(), ConnectStatus::InvalidPort);
        QCOMPARE(screen->statusLine()->text(), QStringLiteral("Enter a port between 1024 and 65535."));
        QCOMPARE(screen->statusLine()->accessibleName(), screen->statusLine()->text());

        // Letters never get in; what the field shows follows the stored port.
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("4a8b00"));
        QCOMPARE(field->text(), QStringLiteral("4800"));
        m_settings->setBridgePort(12345);
        QTest::keyClick(field, Qt::Key_Escape);
        field->clearFocus();
        QCOMPARE(field->text(), QStringLiteral("4800"));
    }

    void returnAnywhereConnects() {
        TestHttpServer server(
            [](const QByteArray&, const QString&) { return TestHttpServer::html("<p>not it</p>"); });
        QVERIFY(server.listen());
        make(false);
        m_settings->setBridgePort(server.port());
        auto screen = view();
        auto* copy = screen->findChild<CommandRow*>()->copyButton();
        copy->setFocus();
        QTest::keyClick(copy, Qt::Key_Return);
        QCOMPARE(m_window->status(), ConnectStatus::Connecting);
        QTRY_COMPARE(m_window->status(), ConnectStatus::NotTallyrig);
        QCOMPARE(server.requestCount(), 1);
    }

    void statusLineWordsEveryStatus() {
        const int port = 4321;
        StatusLine line(ConnectStatus::Waiting, port);
        const QList<QPair<ConnectStatus, QString>> expected{
            {ConnectStatus::Waiting, QStringLiteral("Waiting for a bridge on port 4321\u2026")},
            {ConnectStatus::Connecting, QStringLiteral("Connecting\u2026")},
            {ConnectStatus::Paused, QStringLiteral("Disconnected. Press Connect to reconnect.")},
            {ConnectStatus::NotTallyrig,
             QStringLiteral("Port 4321 is used by another service. Check the port in tallyrig.config.json.")},
            {ConnectStatus::InvalidPort, QStringLiteral("Enter a port between 1024 and 65535.")},
        };
        for (const auto& [status, text] : expected) {
            line.setStatus(status, port);
            QCOMPARE(line.text(), text);
            QCOMPARE(line.findChild<Spinner*>()->isVisibleTo(&line),
                     status == ConnectStatus::Waiting || status == ConnectStatus::Connecting);
            // Assistive tools meet one element that reads the whole line, not its parts.
            QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&line);
            QVERIFY(element);
            QCOMPARE(element->childCount(), 0);
            QCOMPARE(element->text(QAccessible::Name), text);
        }
    }

    void projectMenuFiltersTheOpenProject() {
        const QStringList recents{QStringLiteral("/r/a"), QStringLiteral("/r/b"), QStringLiteral("/r/c")};
        QCOMPARE(ProjectMenu::filteredRecents(recents, QStringLiteral("/r/b")),
                 (QStringList{QStringLiteral("/r/a"), QStringLiteral("/r/c")}));
        QCOMPARE(ProjectMenu::filteredRecents(recents, std::nullopt), recents);
        QCOMPARE(ProjectMenu::filteredRecents({QStringLiteral("/r/b")}, QStringLiteral("/r/b/")),
                 QStringList{});
    }

    void projectMenuItemsFollowTheBridge() {
        make(true, {QStringLiteral("/r/a")});
        int chosen = 0;
        int stopped = 0;
        QStringList opened;
        ProjectMenu menu(
            *m_bridge, [&] { ++chosen; }, [&](const QString& folder) { opened.append(folder); },
            [&] { ++stopped; });
        QCOMPARE(menu.text(), QStringLiteral("Project"));
        QCOMPARE(menu.toolTip(), QStringLiteral("Project: none"));
        QStringList items;
        emit menu.menu()->aboutToShow();
        for (QAction* action : menu.menu()->actions())
            items.append(action->isSeparator() ? QStringLiteral("— ") + action->text() : action->text());
        QCOMPARE(items,
                 (QStringList{QStringLiteral("Open Project\u2026"), QStringLiteral("— Recent"),
                              QStringLiteral("a"), QStringLiteral("— "), QStringLiteral("Stop Bridge")}));
        menu.menu()->actions().value(2)->trigger();
        menu.menu()->actions().value(0)->trigger();
        menu.menu()->actions().last()->trigger();
        QCOMPARE(opened, QStringList{QStringLiteral("/r/a")});
        QCOMPARE(chosen, 1);
        QCOMPARE(stopped, 1);

        // Opening a project names it; the open project leaves the recent list, and so the section.
        const QString project = folder(QStringLiteral("a-project"));
        qputenv("TALLYRIG_FAKE_INIT", "six-lines");
        QCoro::waitFor(m_bridge->open(project));
        qunsetenv("TALLYRIG_FAKE_INIT");
        m_bridge->forget(QStringLiteral("/r/a"));
        QCOMPARE(menu.text(), QStringLiteral("a-project"));
        QCOMPARE(menu.toolTip(), QStringLiteral("Project: ") + project);
        items.clear();
        emit menu.menu()->aboutToShow();
        for (QAction* action : menu.menu()->actions())
            items.append(action->isSeparator() ? QStringLiteral("— ") + action->text() : action->text());
        QCOMPARE(items, (QStringList{QStringLiteral("Open Project\u2026"), QStringLiteral("— "),
                                     QStringLiteral("Stop Bridge")}));
        QVERIFY(menu.isEnabled());
    }
};

QTEST_MAIN(TestConnectView)
#include "tst_connectview.moc"
