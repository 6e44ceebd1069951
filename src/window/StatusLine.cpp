#include "window/StatusLine.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QLabel>

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
    // Waiting for a bridge can last for minutes.
    m_spinner->setFrameInterval(Spinner::calmFrameInterval);
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
