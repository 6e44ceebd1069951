#pragma once

#include "window/BridgeWindow.h"
#include "window/CommandRow.h"
#include "window/ProjectSection.h"
#include "window/RecentRow.h"
#include "window/StatusLine.h"
#include "window/Step.h"

#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

#include <functional>

// What the main window shows while it is not connected. Its parts' headers come with this one,
// for the code that looks into the screen.
class ConnectView : public QWidget {
    Q_OBJECT
public:
    ConnectView(BridgeWindow& window, std::function<void()> openProject,
                std::function<void(const QString&)> openRecent, QWidget* parent = nullptr);

    // The command-line steps and their parts; with a runtime, none until first expanded.
    QLineEdit* portField() const { return m_portField; }
    StatusLine* statusLine() const { return m_statusLine; }
    QToolButton* commandLineToggle() const { return m_toggle; }
    QWidget* commandLine() const { return m_commandLine; }
    ProjectSection* projectSection() const { return m_projectSection; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildCommandLine();
    void commitPort();
    void connectNow();
    void showPort();

    BridgeWindow& m_window;
    QLineEdit* m_portField = nullptr;
    StatusLine* m_statusLine = nullptr;
    QToolButton* m_toggle = nullptr;
    QWidget* m_commandLine = nullptr;
    ProjectSection* m_projectSection = nullptr;
    QWidget* m_header = nullptr;
};
