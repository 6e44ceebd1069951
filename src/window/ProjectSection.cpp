#include "window/ProjectSection.h"

#include "foundation/PlatformText.h"
#include "window/ProminentButton.h"
#include "window/RecentRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

ProjectSection::ProjectSection(BridgeProcess& bridge, std::function<void()> openProject,
                               std::function<void(const QString&)> openRecent, QWidget* parent)
    : Card(parent), m_bridge(bridge), m_openRecent(std::move(openRecent)), m_stateBox(new QVBoxLayout),
      m_recents(new QWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(14);

    auto* row = new QHBoxLayout;
    QLabel* heading = makeLabel(QStringLiteral("Open your app\u2019s repository"), Style::Text::Headline,
                                Style::Tone::Primary, this);
    heading->setWordWrap(false);
    row->addWidget(heading, 1);
    auto* open = new QPushButton(QStringLiteral("Open Project\u2026"), this);
    makeProminent(open);
    open->setShortcut(QKeySequence::Open);
    open->setToolTip(QStringLiteral("Open Project\u2026 ") + PlatformText::shortcutHint(QKeySequence::Open));
    connect(open, &QPushButton::clicked, this, [openProject] {
        if (openProject)
            openProject();
    });
    row->addWidget(open);
    layout->addLayout(row);

    auto* state = new QWidget(this);
    state->setLayout(m_stateBox);
    m_stateBox->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(state);
    layout->addWidget(m_recents);
    m_recents->hide();

    connect(&m_bridge, &BridgeProcess::stateChanged, this, &ProjectSection::rebuildState);
    connect(&m_bridge, &BridgeProcess::recentsChanged, this, &ProjectSection::rebuildRecents);
    rebuildState();
    rebuildRecents();
}

void ProjectSection::rebuildState() {
    QWidget* box = m_stateBox->parentWidget();
    while (QLayoutItem* item = m_stateBox->takeAt(0)) {
        if (QWidget* widget = item->widget())
            widget->deleteLater();
        delete item;
    }
    const BridgeProcess::State state = m_bridge.state();
    auto* line = new QWidget(box);
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    if (state.kind == BridgeProcess::State::Kind::Starting) {
        row->addWidget(new Spinner(12, line), 0, Qt::AlignVCenter);
        row->addWidget(makeLabel(state.text, Style::Text::Callout, Style::Tone::Secondary, line), 1);
    } else if (state.kind == BridgeProcess::State::Kind::Failed) {
        row->addWidget(
            new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), Style::Tone::Orange, 14, line), 0,
            Qt::AlignTop);
        QLabel* message = makeLabel(state.text, Style::Text::Callout, Style::Tone::Primary, line);
        message->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        message->setObjectName(QStringLiteral("failureMessage"));
        row->addWidget(message, 1);
    } else {
        delete line;
        box->hide();
        return;
    }
    m_stateBox->addWidget(line);
    box->show();
}

void ProjectSection::rebuildRecents() {
    // The list changes while one of its rows may be mid-click (opening a recent project moves it
    // to the top), so the old rows go away later, never under their own feet.
    auto* fresh = new QWidget(this);
    delete layout()->replaceWidget(m_recents, fresh);
    m_recents->hide();
    m_recents->deleteLater();
    m_recents = fresh;

    const QStringList recents = m_bridge.recents();
    m_recents->setVisible(!recents.isEmpty());
    if (recents.isEmpty())
        return;
    auto* column = new QVBoxLayout(m_recents);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(makeLabel(QStringLiteral("Recent"), Style::Text::Caption, Style::Tone::Secondary,
                                m_recents, QFont::DemiBold));
    for (const QString& folder : recents) {
        auto* recent = new RecentRow(folder, m_recents);
        connect(recent, &RecentRow::clicked, this, [this, folder] { m_openRecent(folder); });
        recent->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(recent, &QWidget::customContextMenuRequested, this, [this, recent, folder](const QPoint& at) {
            // A popup, not exec(): the window may close, and delete the row, while it is open.
            auto* menu = new QMenu(recent);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->addAction(QStringLiteral("Remove from Recent"), this,
                            [this, folder] { m_bridge.forget(folder); });
            menu->popup(recent->mapToGlobal(at));
        });
        column->addWidget(recent);
    }
}
