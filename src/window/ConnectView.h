#pragma once

#include "foundation/CommonWidgets.h"
#include "window/BridgeWindow.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <QWidget>

#include <functional>

class QLabel;
class QVBoxLayout;

// A copyable command: the text, selectable, and a copy button that confirms for 1.5 seconds.
class CommandRow : public Card {
    Q_OBJECT
public:
    static constexpr int confirmationMs = 1500;

    explicit CommandRow(const QString& command, QWidget* parent = nullptr);
    bool copied() const { return m_copied; }
    QToolButton* copyButton() const { return m_button; }

private:
    void copy();
    void setCopied(bool copied);

    QString m_command;
    QToolButton* m_button;
    bool m_copied = false;
};

// A numbered step: a badge, a title and its content.
class Step : public QWidget {
    Q_OBJECT
public:
    Step(int number, const QString& title, QWidget* content, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_number;
    QWidget* m_badgeSpace;
};

// The connection status as one line of words with its indicator.
class StatusLine : public QWidget {
    Q_OBJECT
public:
    StatusLine(ConnectStatus status, BridgePort port, QWidget* parent = nullptr);
    void setStatus(ConnectStatus status, BridgePort port);
    QString text() const;

private:
    Spinner* m_spinner;
    SymbolView* m_symbol;
    QLabel* m_label;
};

// A recent project: its folder name over its "~"-shortened parent path.
class RecentRow : public QAbstractButton {
    Q_OBJECT
public:
    explicit RecentRow(const QString& folder, QWidget* parent = nullptr);
    QString folder() const { return m_folder; }
    QSize sizeHint() const override;

    // The parent folder's path with the home folder written as "~".
    static QString parentText(const QString& folder);

signals:
    void removeRequested(const QString& folder);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString m_folder;
    bool m_hovered = false;
    bool m_keyboardFocus = false;
};

// Opening a repository: the button, the bridge's progress or failure, and the recent projects.
class ProjectSection : public Card {
    Q_OBJECT
public:
    ProjectSection(BridgeProcess& bridge, std::function<void()> openProject,
                   std::function<void(const QString&)> openRecent, QWidget* parent = nullptr);

private:
    void rebuildState();
    void rebuildRecents();

    BridgeProcess& m_bridge;
    std::function<void(const QString&)> m_openRecent;
    QVBoxLayout* m_stateBox;
    QWidget* m_recents;
};

// What the main window shows while it is not connected.
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
