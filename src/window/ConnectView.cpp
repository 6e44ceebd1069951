#include "window/ConnectView.h"

#include "foundation/CommonWidgets.h"
#include "foundation/Detach.h"
#include "foundation/PlatformText.h"
#include "window/ProminentButton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
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
