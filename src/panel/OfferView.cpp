#include "panel/OfferView.h"

#include "foundation/CommonWidgets.h"
#include "panel/SimulatorPanelModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

using namespace PanelWidgets;

OfferView::OfferView(SimulatorPanelModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    setObjectName(QStringLiteral("offer"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    m_text = makeLabel(QString(), Style::Text::Caption, Style::Tone::Primary, this);
    layout->addWidget(m_text);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_accept = new PanelButton(QString(), PanelButton::Kind::Prominent, PanelButton::Size::Small, this);
    m_decline = new PanelButton(QString(), PanelButton::Kind::Standard, PanelButton::Size::Small, this);
    buttons->addWidget(m_accept);
    buttons->addWidget(m_decline);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(m_accept, &QAbstractButton::clicked, this, [this] { m_model.answerOffer(true); });
    connect(m_decline, &QAbstractButton::clicked, this, [this] { m_model.answerOffer(false); });
    connect(&m_model, &SimulatorPanelModel::offerChanged, this, &OfferView::refresh);
    refresh();
}

void OfferView::refresh() {
    const std::optional<TargetingOffer>& offer = m_model.offer();
    setVisible(offer.has_value());
    if (!offer)
        return;
    m_text->setText(offer->text);
    // One container for assistive technologies: the question is its name, the answers its children.
    setAccessibleName(offer->text);
    m_accept->setText(offer->accept);
    m_accept->setAccessibleName(offer->accept);
    m_decline->setText(offer->decline);
    m_decline->setAccessibleName(offer->decline);
    m_decline->setVisible(!offer->decline.isEmpty());
}

void OfferView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Style::color(Style::Tone::Brand, palette(), 0.10));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}
