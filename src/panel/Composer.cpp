#include "panel/Composer.h"

#include "foundation/CommonWidgets.h"
#include "foundation/PlatformText.h"
#include "foundation/Shortcuts.h"
#include "panel/PictureViews.h"
#include "panel/ReportStatus.h"
#include "panel/SimulatorPanelModel.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

using namespace PanelWidgets;

namespace {

const QString requestLabel = QStringLiteral("What should change?");
const QString copyTitle = QStringLiteral("Copy as Prompt");
const QString copiedTitle = QStringLiteral("Copied");
// How long "Copied" shows, as the connect screen's copy buttons confirm.
constexpr std::chrono::milliseconds copiedConfirmation{1500};
// The annotated screenshot's thumbnail, in points.
constexpr int thumbnailHeight = 84;

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

// ---- PinBadge

PinBadge::PinBadge(int number, QWidget* parent) : QWidget(parent), m_number(number) {
    setFixedSize(sizeHint());
}

void PinBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Style::brand());
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(Qt::white);
    painter.setFont(Style::font(10.0, QFont::Bold));
    painter.drawText(rect(), Qt::AlignCenter, QString::number(m_number));
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
      m_picturesRow(new QWidget(this)),
      m_thumbnail(new Thumbnail(QStringLiteral("Annotated screenshot"), thumbnailHeight, m_picturesRow)),
      m_pins(new QWidget(m_picturesRow)), m_chips(new FlowChips(model, this)),
      m_request(new RequestEditor(this)),
      m_context(new PanelButton(QStringLiteral("{ } Context"), PanelButton::Kind::Standard,
                                PanelButton::Size::Small, this)),
      m_copy(new PanelButton(copyTitle, PanelButton::Kind::Standard, PanelButton::Size::Small, this)),
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

    // The annotated screenshot, and beside it the pins when there are several.
    auto* pictures = new QHBoxLayout(m_picturesRow);
    pictures->setContentsMargins(0, 0, 0, 0);
    pictures->setSpacing(10);
    pictures->addWidget(m_thumbnail, 0, Qt::AlignTop);
    auto* pins = new QVBoxLayout(m_pins);
    pins->setContentsMargins(0, 0, 0, 0);
    pins->setSpacing(4);
    m_pins->setAccessibleName(QStringLiteral("Pins"));
    pictures->addWidget(m_pins, 1, Qt::AlignTop);
    layout->addWidget(m_picturesRow);

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
    m_copy->setObjectName(QStringLiteral("copyPrompt"));
    m_copy->setToolTip(QStringLiteral("Copy the request and the annotated screenshot, for an agent "
                                      "without a bridge"));
    setCopied(false);
    // As wide as its longest wording, so that "Copied" does not move Send.
    m_copy->setFixedWidth(m_copy->sizeHint().width());
    actions->addWidget(m_copy);
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
    connect(m_copy, &QAbstractButton::clicked, this, &Composer::copyPrompt);
    connect(&m_model, &SimulatorPanelModel::picturesChanged, this, &Composer::showPictures);
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
    showPictures();
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
    showPins(draft);
    showPictures();
}

void Composer::showPins(const Draft& draft) {
    // A remove button may be the caller: its row goes once the click is over.
    for (QWidget* row : m_pins->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        row->hide();
        row->setParent(nullptr);
        row->deleteLater();
    }
    m_removers.clear();
    if (draft.pins.size() < 2)
        return;
    for (std::size_t i = 0; i < draft.pins.size(); ++i) {
        const PickResult& pin = draft.pins[i];
        const int number = int(i) + 1;
        auto* row = new QWidget(m_pins);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        layout->addWidget(new PinBadge(number, row));
        const QString name = pin.identifier.value_or(pin.label.value_or(pin.role));
        auto* title = new MiddleElidedLabel(name, row);
        title->setFont(pin.identifier ? Style::monospaced(Style::Text::Caption)
                                      : Style::font(Style::Text::Caption));
        layout->addWidget(title, 1);
        auto* remove = new SymbolButton(QStringLiteral("xmark"), 9, QSize(18, 18), row);
        remove->setTones(Style::Tone::Secondary);
        remove->setPlateRadius(9);
        remove->setToolTip(QStringLiteral("Remove pin %1").arg(number));
        remove->setAccessibleName(QStringLiteral("Remove pin %1").arg(number));
        connect(remove, &QAbstractButton::clicked, this, [this, i] { m_model.removePin(i); });
        layout->addWidget(remove);
        row->setAccessibleName(QStringLiteral("Pin %1: %2, %3").arg(number).arg(name, pin.role));
        m_pins->layout()->addWidget(row);
        m_removers.append(remove);
    }
}

void Composer::showPictures() {
    const std::shared_ptr<const Annotation::Rendered> pictures = m_model.pictures();
    if (!pictures)
        m_thumbnail->setWaiting();
    else
        m_thumbnail->setPicture(pictures->annotatedPng, pictures->thumbnail);
    // A screenshot that could not be drawn on leaves nothing to show.
    m_thumbnail->setVisible(!pictures || !pictures->annotatedPng.isEmpty());
    m_copy->setEnabled(pictures != nullptr);
}

void Composer::copyPrompt() {
    const std::shared_ptr<const Annotation::Rendered> pictures = m_model.pictures();
    if (!pictures || !m_model.draft())
        return;
    // One item in two forms: the text for a prompt field, the picture for one that takes images.
    auto* item = new QMimeData;
    item->setText(m_model.prompt());
    if (!pictures->annotatedPng.isEmpty())
        item->setData(QStringLiteral("image/png"), pictures->annotatedPng);
    QApplication::clipboard()->setMimeData(item);
    setCopied(true);
    // Each copy has its own confirmation; only the last one's end takes it away.
    const int copy = ++m_copies;
    QTimer::singleShot(copiedConfirmation, this, [this, copy] {
        if (copy == m_copies)
            setCopied(false);
    });
}

void Composer::setCopied(bool copied) {
    m_copy->setText(copied ? copiedTitle : copyTitle);
    m_copy->setAccessibleName(m_copy->text());
    m_copy->updateGeometry();
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
