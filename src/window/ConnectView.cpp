#include "window/ConnectView.h"

#include "foundation/Detach.h"
#include "foundation/PlatformText.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// A sentence with commands set in a monospaced face; the pieces alternate text and command.
QLabel* makeSentence(const QStringList& pieces, QWidget* parent) {
    const QFont mono = Style::monospaced(Style::Text::Callout);
    QString html;
    for (int i = 0; i < pieces.size(); ++i) {
        const QString escaped = pieces[i].toHtmlEscaped();
        if (i % 2 == 1)
            html += QStringLiteral("<span style=\"font-family:'%1'\">%2</span>").arg(mono.family(), escaped);
        else
            html += escaped;
    }
    auto* label = makeLabel(QString(), Style::Text::Callout, Style::Tone::Secondary, parent);
    label->setTextFormat(Qt::RichText);
    label->setText(html);
    QString plain;
    for (const QString& piece : pieces)
        plain += piece;
    label->setAccessibleName(plain);
    return label;
}

void makeProminent(QPushButton* button) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, palette.color(QPalette::Highlight));
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
    button->setPalette(palette);
}

QWidget* makeDivider(QWidget* parent) {
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Style::color(Style::Tone::Separator, QApplication::palette()));
    line->setPalette(palette);
    return line;
}

} // namespace

// ---- CommandRow

CommandRow::CommandRow(const QString& command, QWidget* parent)
    : Card(parent, 6, Style::Tone::Quinary, false), m_command(command), m_button(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 7, 10, 7);
    auto* text = new QLabel(command, this);
    text->setTextFormat(Qt::PlainText);
    text->setFont(Style::monospaced(Style::Text::Body));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(text);
    layout->addStretch(1);

    m_button->setAutoRaise(true);
    m_button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_button->setToolTip(QStringLiteral("Copy ") + command);
    m_button->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_button);
    connect(m_button, &QToolButton::clicked, this, &CommandRow::copy);
    setCopied(false);
}

void CommandRow::copy() {
    QApplication::clipboard()->clear();
    QApplication::clipboard()->setText(m_command);
    setCopied(true);
    // Each press has its own timer; whichever ends first takes the confirmation away.
    QTimer::singleShot(confirmationMs, this, [this] { setCopied(false); });
}

void CommandRow::setCopied(bool copied) {
    m_copied = copied;
    const QString title = copied ? QStringLiteral("Copied") : QStringLiteral("Copy");
    m_button->setText(title);
    m_button->setAccessibleName(title);
    m_button->setIcon(Style::symbol(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"),
                                    Style::Tone::Secondary));
}

// ---- Step

Step::Step(int number, const QString& title, QWidget* content, QWidget* parent)
    : QWidget(parent), m_number(number), m_badgeSpace(new QWidget(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    m_badgeSpace->setFixedSize(20, 20);
    layout->addWidget(m_badgeSpace, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    column->addWidget(makeLabel(title, Style::Text::Headline, Style::Tone::Primary, this));
    column->addWidget(content);
    layout->addLayout(column, 1);
    setAccessibleName(QStringLiteral("Step %1: %2").arg(number).arg(title));
}

void Step::paintEvent(QPaintEvent*) {
    // The badge is painted rather than a widget of its own, which keeps it out of accessibility.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect badge = m_badgeSpace->geometry();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Style::color(Style::Tone::Quaternary, palette()));
    painter.drawEllipse(badge);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(Style::font(Style::Text::Caption, QFont::DemiBold));
    painter.drawText(badge, Qt::AlignCenter, QString::number(m_number));
}

// ---- StatusLine

namespace {

// The status line as assistive tools meet it: one element that reads the whole line, its
// indicator and words combined.
class StatusLineAccessible final : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(StatusLine* line) : QAccessibleWidget(line, QAccessible::StaticText) {}

    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return static_cast<StatusLine*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* statusLineAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("StatusLine") && object && object->isWidgetType())
        return new StatusLineAccessible(static_cast<StatusLine*>(object));
    return nullptr;
}

} // namespace

StatusLine::StatusLine(ConnectStatus status, BridgePort port, QWidget* parent)
    : QWidget(parent), m_spinner(new Spinner(12, this)),
      m_symbol(new SymbolView(QStringLiteral("pause.circle"), Style::Tone::Secondary, 14, this)),
      m_label(new QLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(m_spinner, 0, Qt::AlignTop);
    layout->addWidget(m_symbol, 0, Qt::AlignTop);
    m_label->setFont(Style::font(Style::Text::Callout));
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    layout->addWidget(m_label, 1);
    static const bool accessible = [] {
        QAccessible::installFactory(statusLineAccessible);
        return true;
    }();
    Q_UNUSED(accessible);
    setStatus(status, port);
}

QString StatusLine::text() const {
    return m_label->text();
}

void StatusLine::setStatus(ConnectStatus status, BridgePort port) {
    const bool spinning = status == ConnectStatus::Waiting || status == ConnectStatus::Connecting;
    m_spinner->setVisible(spinning);
    m_symbol->setVisible(!spinning);
    switch (status) {
    case ConnectStatus::Paused:
        m_symbol->setSymbol(QStringLiteral("pause.circle"), Style::Tone::Secondary);
        break;
    case ConnectStatus::NotTallyrig:
        m_symbol->setSymbol(QStringLiteral("exclamationmark.triangle.fill"), Style::Tone::Orange);
        break;
    case ConnectStatus::InvalidPort:
        m_symbol->setSymbol(QStringLiteral("exclamationmark.circle.fill"), Style::Tone::Red);
        break;
    default:
        break;
    }
    const bool quiet = spinning || status == ConnectStatus::Paused;
    setTone(m_label, quiet ? Style::Tone::Secondary : Style::Tone::Primary);
    const QString text = BridgeWindow::statusText(status, port);
    m_label->setText(text);
    setAccessibleName(text);
}

// ---- RecentRow

RecentRow::RecentRow(const QString& folder, QWidget* parent) : QAbstractButton(parent), m_folder(folder) {
    const QString name = QFileInfo(folder).fileName().isEmpty() ? folder : QFileInfo(folder).fileName();
    setText(name);
    setAccessibleName(name);
    setAccessibleDescription(parentText(folder));
    setToolTip(folder);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    followFocus();
}

QString RecentRow::parentText(const QString& folder) {
    QString parent = QFileInfo(folder).path();
    const QString home = QDir::homePath();
    // Only a whole leading home folder becomes "~": /home/me2 is not inside /home/me.
    if (home != QLatin1String("/") && (parent == home || parent.startsWith(home + QLatin1Char('/'))))
        parent = QLatin1Char('~') + parent.mid(home.size());
    return parent;
}

QSize RecentRow::sizeHint() const {
    const QFontMetrics name(Style::font(Style::Text::Body));
    const QFontMetrics caption(Style::font(Style::Text::Caption));
    return {200, 4 + name.height() + caption.height() + 4};
}

void RecentRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hovered || m_keyboardFocus) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Style::color(isDown() ? Style::Tone::Quaternary : Style::Tone::Quinary, palette()));
        painter.drawRoundedRect(QRectF(rect()).adjusted(-6, 0, 6, 0), 6, 6);
    }
    const QFontMetrics nameMetrics(Style::font(Style::Text::Body));
    const QFontMetrics captionMetrics(Style::font(Style::Text::Caption));
    const int top = 4;
    const int iconSize = 16;
    const QRect iconRect(0, (height() - iconSize) / 2, iconSize, iconSize);
    Style::symbol(QStringLiteral("folder"), Style::Tone::Secondary).paint(&painter, iconRect);

    const int textLeft = iconSize + 8;
    const QRect nameRect(textLeft, top, width() - textLeft, nameMetrics.height());
    painter.setFont(Style::font(Style::Text::Body));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                     nameMetrics.elidedText(text(), Qt::ElideRight, nameRect.width()));

    const QRect parentRect(textLeft, nameRect.bottom() + 1, width() - textLeft, captionMetrics.height());
    painter.setFont(Style::font(Style::Text::Caption));
    painter.setPen(Style::color(Style::Tone::Secondary, palette()));
    painter.drawText(parentRect, Qt::AlignLeft | Qt::AlignVCenter,
                     captionMetrics.elidedText(parentText(m_folder), Qt::ElideMiddle, parentRect.width()));
}

void RecentRow::focusInEvent(QFocusEvent* event) {
    // Only focus that arrives by keyboard is shown; a window's first focus is not the user's doing.
    m_keyboardFocus = isKeyboardFocus(event);
    update();
    QAbstractButton::focusInEvent(event);
}

void RecentRow::focusOutEvent(QFocusEvent* event) {
    m_keyboardFocus = false;
    update();
    QAbstractButton::focusOutEvent(event);
}

void RecentRow::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void RecentRow::leaveEvent(QEvent* event) {
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

// ---- ProjectSection

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

// ---- ConnectView

ConnectView::ConnectView(BridgeWindow& window, std::function<void()> openProject,
                         std::function<void(const QString&)> openRecent, QWidget* parent)
    : QWidget(parent), m_window(window) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    outer->addWidget(scroll);

    auto* page = new QWidget(scroll);
    page->setAutoFillBackground(false);
    scroll->setWidget(page);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(40, 40, 40, 40);
    pageLayout->addStretch(1);
    auto* centre = new QHBoxLayout;
    pageLayout->addLayout(centre);
    pageLayout->addStretch(1);

    auto* column = new QWidget(page);
    column->setMaximumWidth(480);
    column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    centre->addStretch(1);
    centre->addWidget(column, 100);
    centre->addStretch(1);

    auto* parts = new QVBoxLayout(column);
    parts->setContentsMargins(0, 0, 0, 0);
    parts->setSpacing(22);
    parts->addWidget(buildHeader());

    if (m_window.bridge().runtime()) {
        m_projectSection =
            new ProjectSection(m_window.bridge(), std::move(openProject), std::move(openRecent), column);
        parts->addWidget(m_projectSection);

        auto* disclosure = new QWidget(column);
        auto* disclosureLayout = new QVBoxLayout(disclosure);
        disclosureLayout->setContentsMargins(0, 0, 0, 0);
        disclosureLayout->setSpacing(10);
        m_toggle = new QToolButton(disclosure);
        m_toggle->setText(QStringLiteral("Use the command line instead"));
        m_toggle->setFont(Style::font(Style::Text::Callout));
        m_toggle->setAutoRaise(true);
        m_toggle->setCursor(Qt::PointingHandCursor);
        m_toggle->setArrowType(Qt::RightArrow);
        m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        disclosureLayout->addWidget(m_toggle, 0, Qt::AlignLeft);
        // A disclosure, not a switch: it never stays pressed in. The steps are built when first
        // expanded, which keeps them off the start-up path.
        connect(m_toggle, &QToolButton::clicked, this, [this, disclosure, disclosureLayout] {
            if (!m_commandLine) {
                m_commandLine = buildCommandLine();
                m_commandLine->setParent(disclosure);
                m_commandLine->hide();
                disclosureLayout->addWidget(m_commandLine);
            }
            const bool expanded = !m_commandLine->isVisibleTo(this);
            m_toggle->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
            m_commandLine->setVisible(expanded);
        });
        parts->addWidget(disclosure);
    } else {
        m_commandLine = buildCommandLine();
        m_commandLine->setParent(column);
        parts->addWidget(m_commandLine);
    }

    parts->addWidget(makeLabel(QStringLiteral("Everything runs on %1. Your code and your agent stay here.")
                                   .arg(PlatformText::thisComputer()),
                               Style::Text::Footnote, Style::Tone::Tertiary, column));

    connect(&m_window, &BridgeWindow::statusChanged, this, [this] {
        if (m_statusLine)
            m_statusLine->setStatus(m_window.status(), m_window.port());
    });
    connect(&m_window, &BridgeWindow::portChanged, this, [this] {
        if (m_statusLine)
            m_statusLine->setStatus(m_window.status(), m_window.port());
        showPort();
    });
}

QWidget* ConnectView::buildHeader() {
    m_header = new QWidget(this);
    m_header->installEventFilter(this);
    auto* row = new QHBoxLayout(m_header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addSpacing(40 + 12); // the icon is painted here
    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    lines->addWidget(makeLabel(QStringLiteral("Connect to Tallyrig"), Style::Text::Title2,
                               Style::Tone::Primary, m_header, QFont::DemiBold));
    lines->addWidget(
        makeLabel(QStringLiteral("Point at a UI problem, describe the fix, and your local agent makes it."),
                  Style::Text::Callout, Style::Tone::Secondary, m_header));
    row->addLayout(lines, 1);
    m_header->setMinimumHeight(40);
    return m_header;
}

bool ConnectView::eventFilter(QObject* watched, QEvent* event) {
    // The app icon is painted into the header, not a widget, so assistive tools pass over it.
    if (watched == m_header && event->type() == QEvent::Paint) {
        QPainter painter(m_header);
        const int top = (m_header->height() - 40) / 2;
        Style::appIcon().paint(&painter, QRect(0, top, 40, 40));
    }
    return QWidget::eventFilter(watched, event);
}

QWidget* ConnectView::buildCommandLine() {
    auto* box = new Card(this);
    auto* items = new QVBoxLayout(box);
    items->setContentsMargins(18, 18, 18, 18);
    items->setSpacing(16);

    const QString nbsp(QChar(0x00A0));
    auto* first = new QWidget(box);
    auto* firstContent = new QVBoxLayout(first);
    firstContent->setContentsMargins(0, 0, 0, 0);
    firstContent->setSpacing(8);
    firstContent->addWidget(new CommandRow(QStringLiteral("tallyrig start"), first));
    firstContent->addWidget(makeSentence({QStringLiteral("First time in this repository? Run "),
                                          QStringLiteral("tallyrig") + nbsp + QStringLiteral("init"),
                                          QStringLiteral(" to set it up, and "),
                                          QStringLiteral("tallyrig") + nbsp + QStringLiteral("doctor"),
                                          QStringLiteral(" to check your agents and tools.")},
                                         first));
    firstContent->addWidget(
        makeSentence({QStringLiteral("Running Tallyrig from its source folder instead? Use "),
                      QStringLiteral("npm") + nbsp + QStringLiteral("start"), QStringLiteral(" there.")},
                     first));
    items->addWidget(
        new Step(1, QStringLiteral("Start the bridge in your app\u2019s repository"), first, box));

    items->addWidget(makeDivider(box));

    auto* second = new QWidget(box);
    auto* secondContent = new QVBoxLayout(second);
    secondContent->setContentsMargins(0, 0, 0, 0);
    secondContent->setSpacing(8);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    m_portField = new QLineEdit(second);
    m_portField->setPlaceholderText(QStringLiteral("Port"));
    m_portField->setAccessibleName(QStringLiteral("Bridge port"));
    m_portField->setFixedWidth(90);
    // Digits of one width, so the number does not shift as it is typed; Qt cannot ask a
    // proportional face for its tabular figures, so the field uses the fixed-pitch face.
    m_portField->setFont(Style::monospaced(Style::Text::Body));
    m_portField->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,9}")), m_portField));
    row->addWidget(m_portField);
    auto* connectButton = new QPushButton(QStringLiteral("Connect"), second);
    makeProminent(connectButton);
    connectButton->setDefault(true);
    row->addWidget(connectButton);
    row->addStretch(1);
    secondContent->addLayout(row);
    m_statusLine = new StatusLine(m_window.status(), m_window.port(), second);
    secondContent->addWidget(m_statusLine);
    items->addWidget(new Step(2, QStringLiteral("Connect to its port"), second, box));

    showPort();
    connect(m_portField, &QLineEdit::editingFinished, this, &ConnectView::commitPort);
    connect(m_portField, &QLineEdit::returnPressed, this, [this] {
        commitPort();
        connectNow();
    });
    connect(connectButton, &QPushButton::clicked, this, [this] {
        commitPort();
        connectNow();
    });
    return box;
}

void ConnectView::commitPort() {
    if (!m_portField)
        return;
    if (const auto port = BridgePort::fromText(m_portField->text()))
        m_window.setPort(*port);
    m_portField->setModified(false);
    showPort();
}

void ConnectView::showPort() {
    if (m_portField && !m_portField->isModified())
        m_portField->setText(m_window.port().text());
}

void ConnectView::connectNow() {
    detach(m_window.connectToBridge(true), &m_window);
}

void ConnectView::keyPressEvent(QKeyEvent* event) {
    // Return is the window's default action; the port field handles its own Return first.
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && m_commandLine && m_commandLine->isVisible() &&
        QApplication::focusWidget() != m_portField) {
        commitPort();
        connectNow();
        return;
    }
    QWidget::keyPressEvent(event);
}
