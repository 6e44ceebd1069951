#include "panel/Composer.h"

#include "foundation/CommonWidgets.h"
#include "foundation/PlatformText.h"
#include "foundation/Shortcuts.h"
#include "panel/ReportStatus.h"
#include "panel/SimulatorPanelModel.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

using namespace PanelWidgets;

namespace {

const QString requestLabel = QStringLiteral("What should change?");

// A faint rounded plate, the composer's fields sit on.
void paintPlate(QWidget* widget, const QColor& outline) {
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(widget->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(outline.isValid() ? QPen(outline, 1) : Qt::NoPen);
    painter.setBrush(Style::color(Style::Tone::Primary, widget->palette(), 0.05));
    painter.drawRoundedRect(box, 7, 7);
}

// A thin scroll bar that sits inside the plate instead of a framed trough beside it.
void makeSlim(QScrollBar* bar, const QPalette& palette) {
    const QColor handle = Style::color(Style::Tone::Primary, palette, 0.28);
    bar->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: 7px; margin: 2px 1px 2px 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 18px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(QStringLiteral("rgba(%1, %2, %3, %4)")
                     .arg(handle.red())
                     .arg(handle.green())
                     .arg(handle.blue())
                     .arg(handle.alpha())));
}

// A plain text area with no frame and no background of its own.
void makeBare(QPlainTextEdit* text) {
    text->setFrameShape(QFrame::NoFrame);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    text->viewport()->setAutoFillBackground(false);
    text->setAutoFillBackground(false);
    text->setBackgroundVisible(false);
}

// The text area's colours in the current theme: no background, a tertiary placeholder, a thin
// scroll bar.
void tint(QPlainTextEdit* text) {
    const QPalette theme = QApplication::palette();
    QPalette palette = text->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::PlaceholderText, Style::color(Style::Tone::Tertiary, theme));
    text->setPalette(palette);
    makeSlim(text->verticalScrollBar(), theme);
}

QString caption(const QString& category) {
    return category.left(1).toUpper() + category.mid(1);
}

} // namespace

ElementText elementText(const Draft& draft) {
    const PickResult& pick = draft.pick();
    const bool identified = pick.identifier.has_value();
    ElementText text;
    text.name = pick.identifier.value_or(pick.label.value_or(pick.role));
    text.monospaced = identified;
    QStringList details;
    if (identified && pick.label)
        details.append(*pick.label);
    details.append(pick.role);
    details.append(draft.device.name);
    details.removeAll(QString());
    text.details = details.join(QStringLiteral(" \u00b7 "));
    return text;
}

// ---- FlowChips

FlowChips::FlowChips(SimulatorPanelModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    setAccessibleName(QStringLiteral("Change category, optional"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    const QStringList& categories = ReportCategories::all;
    for (int i = 0; i < categories.size(); ++i) {
        const QString category = categories[i];
        auto* chip = new Chip(caption(category), this);
        chip->setAccessibleName(chip->text());
        chip->setAccessibleDescription(QStringLiteral("Change category"));
        connect(chip, &QAbstractButton::clicked, this, [this, category] {
            if (m_model.category() == category)
                m_model.setCategory(std::nullopt);
            else
                m_model.setCategory(category);
        });
        grid->addWidget(chip, i / 3, i % 3);
        m_chips.append(chip);
    }
    for (int column = 0; column < 3; ++column)
        grid->setColumnStretch(column, 1);
    connect(&m_model, &SimulatorPanelModel::categoryChanged, this, &FlowChips::showSelected);
    showSelected();
}

void FlowChips::showSelected() {
    const std::optional<QString> selected = m_model.category();
    for (int i = 0; i < m_chips.size(); ++i)
        m_chips[i]->setChecked(selected == ReportCategories::all.value(i));
}

// ---- RequestEditor

RequestEditor::RequestEditor(QWidget* parent) : QWidget(parent), m_editor(new QPlainTextEdit(this)) {
    setFixedHeight(72);
    auto* layout = new QVBoxLayout(this);
    // With the document's own margin the text starts 5 points in from the sides of the plate's
    // 6-point margin, and 1 point below its top.
    layout->setContentsMargins(6, 2, 2, 2);
    makeBare(m_editor);
    m_editor->document()->setDocumentMargin(5);
    m_editor->setFont(Style::font(Style::Text::Callout));
    m_editor->setTabChangesFocus(true);
    m_editor->setPlaceholderText(requestLabel);
    m_editor->setAccessibleName(requestLabel);
    tint(m_editor);
    m_editor->installEventFilter(this);
    layout->addWidget(m_editor);
}

void RequestEditor::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint(m_editor);
}

bool RequestEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editor && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update();
    return QWidget::eventFilter(watched, event);
}

void RequestEditor::paintEvent(QPaintEvent*) {
    paintPlate(this, m_editor->hasFocus() ? Style::color(Style::Tone::Brand, palette(), 0.6)
                                          : Style::color(Style::Tone::Primary, palette(), 0.10));
}

// ---- PacketPreview

PacketPreview::PacketPreview(QWidget* parent) : QWidget(parent), m_text(new QPlainTextEdit(this)) {
    setFixedHeight(150);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 2, 6);
    makeBare(m_text);
    m_text->document()->setDocumentMargin(0);
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_text->setFont(Style::monospaced(10.0)); // 10 points, whatever the desktop's text size
    m_text->setAccessibleName(QStringLiteral("Context packet preview"));
    tint(m_text);
    layout->addWidget(m_text);
}

void PacketPreview::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint(m_text);
}

void PacketPreview::setPacket(const QString& packet) {
    const QString shown = packet.isEmpty() ? QStringLiteral("Loading\u2026") : packet;
    if (m_text->toPlainText() != shown)
        m_text->setPlainText(shown);
}

void PacketPreview::paintEvent(QPaintEvent*) {
    paintPlate(this, QColor());
}

// ---- Composer

Composer::Composer(SimulatorPanelModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_elementRow(new QWidget(this)),
      m_name(new ClampedLabel(2, m_elementRow)), m_details(new ClampedLabel(2, m_elementRow)),
      m_discard(new SymbolButton(QStringLiteral("xmark.circle.fill"), 15, QSize(20, 20), m_elementRow)),
      m_chips(new FlowChips(model, this)), m_request(new RequestEditor(this)),
      m_context(new PanelButton(QStringLiteral("{ } Context"), PanelButton::Kind::Standard,
                                PanelButton::Size::Small, this)),
      m_send(new PanelButton(QStringLiteral("Send"), PanelButton::Kind::Prominent, PanelButton::Size::Regular,
                             this)),
      m_preview(new PacketPreview(this)) {
    setObjectName(QStringLiteral("composer"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    auto* element = new QHBoxLayout(m_elementRow);
    element->setContentsMargins(0, 0, 0, 0);
    element->setSpacing(8);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_name);
    m_details->setFont(Style::font(Style::Text::Caption));
    setTone(m_details, Style::Tone::Secondary);
    texts->addWidget(m_details);
    element->addLayout(texts, 1);
    m_discard->setTones(Style::Tone::Tertiary);
    m_discard->setPlateRadius(10);
    m_discard->setToolTip(QStringLiteral("Discard"));
    m_discard->setAccessibleName(QStringLiteral("Discard selection"));
    element->addWidget(m_discard, 0, Qt::AlignTop);
    layout->addWidget(m_elementRow);

    layout->addWidget(m_chips);
    layout->addWidget(m_request);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(8);
    m_context->setObjectName(QStringLiteral("contextToggle"));
    m_context->setMonospaced(true);
    m_context->setCheckable(true);
    m_context->setMirrorsState(true);
    m_context->setAccessibleName(m_context->text());
    m_context->setToolTip(QStringLiteral("Preview the context packet your agent receives"));
    actions->addWidget(m_context);
    actions->addStretch(1);
    m_send->setAccessibleName(m_send->text());
    m_send->setToolTip(QStringLiteral("Send to Tallyrig ") + PlatformText::shortcutHint(Shortcuts::send()));
    actions->addWidget(m_send);
    layout->addLayout(actions);
    layout->addWidget(m_preview);

    for (const QKeySequence& keys : {Shortcuts::send(), Shortcuts::sendFromKeypad()}) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &Composer::sendIfAllowed);
    }
    connect(m_send, &QAbstractButton::clicked, this, &Composer::sendIfAllowed);
    connect(m_discard, &QAbstractButton::clicked, &m_model, &SimulatorPanelModel::discard);
    connect(m_context, &QAbstractButton::clicked, this,
            [this] { m_model.setShowContext(!m_model.showContext()); });
    connect(editor(), &QPlainTextEdit::textChanged, this,
            [this] { m_model.setComment(editor()->toPlainText()); });

    connect(&m_model, &SimulatorPanelModel::commentChanged, this, &Composer::showComment);
    connect(&m_model, &SimulatorPanelModel::canSendChanged, this, &Composer::showSending);
    connect(&m_model, &SimulatorPanelModel::sendingChanged, this, &Composer::showSending);
    connect(&m_model, &SimulatorPanelModel::packetChanged, m_preview, &PacketPreview::setPacket);
    connect(&m_model, &SimulatorPanelModel::showContextChanged, this, [this](bool show) {
        m_context->setChecked(show);
        m_preview->setVisible(show);
    });

    showComment(m_model.comment());
    showSending();
    m_preview->setPacket(m_model.packet());
    m_context->setChecked(m_model.showContext());
    m_preview->setVisible(m_model.showContext());
}

void Composer::setDraft(const Draft& draft) {
    const ElementText text = elementText(draft);
    QFont font =
        text.monospaced ? Style::monospaced(Style::Text::Callout) : Style::font(Style::Text::Callout);
    font.setWeight(QFont::Medium);
    m_name->setFont(font);
    m_name->setText(text.name);
    m_details->setText(text.details);
    m_details->setVisible(!text.details.isEmpty());
    m_elementRow->setAccessibleName(text.details.isEmpty() ? text.name
                                                           : text.name + QStringLiteral(", ") + text.details);
}

void Composer::showComment(const QString& comment) {
    if (editor()->toPlainText() == comment)
        return;
    editor()->setPlainText(comment);
    editor()->moveCursor(QTextCursor::End);
}

void Composer::showSending() {
    m_send->setBusy(m_model.sending());
    m_send->setEnabled(m_model.canSend());
}

void Composer::sendIfAllowed() {
    if (m_model.canSend())
        m_model.send();
}

void Composer::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    editor()->setFocus(Qt::OtherFocusReason);
    m_model.previewRefresh().setActive(true);
}

void Composer::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_model.previewRefresh().setActive(false);
}
