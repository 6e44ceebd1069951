#include "panel/SimulatorPanelView.h"

#include "foundation/CommonWidgets.h"
#include "foundation/PlatformText.h"
#include "foundation/Settings.h"
#include "foundation/Shortcuts.h"
#include "panel/Composer.h"
#include "panel/OfferView.h"
#include "panel/Progress.h"
#include "panel/ReportStatus.h"
#include "panel/SimulatorPanelModel.h"
#include "panel/VisualEffect.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

using namespace PanelWidgets;

namespace {

constexpr int margin = 14;
constexpr int sectionSpacing = 12;

const QString pickingHint = QStringLiteral("Click an element in the Simulator. Esc cancels.");
const QString windowPickingHint = QStringLiteral("Click an element in the window. Esc cancels.");
const QString readingHint = QStringLiteral("Reading the screen\u2026");
// Where the Escape watch needs the access that is missing: the panel still hears the key.
const QString pickingHintEscapeHere = QStringLiteral(
    "Click an element in the Simulator. Without Accessibility access, Esc cancels only here in the panel.");

QHBoxLayout* row(QWidget* owner, int spacing) {
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

// A symbol beside wrapping text, the symbol level with the first line.
QWidget* symbolLine(const QString& symbol, Style::Tone symbolTone, QLabel* text, QWidget* parent,
                    int spacing = 6) {
    auto* line = new QWidget(parent);
    auto* layout = row(line, spacing);
    const QFontMetrics metrics(text->font());
    const int size = std::max(11, metrics.ascent());
    auto* icon = new SymbolView(symbol, symbolTone, size, line);
    icon->setContentsMargins(0, 0, 0, 0);
    auto* iconColumn = new QVBoxLayout;
    iconColumn->setContentsMargins(0, (metrics.height() - size) / 2, 0, 0);
    iconColumn->addWidget(icon);
    iconColumn->addStretch(1);
    layout->addLayout(iconColumn);
    text->setParent(line);
    layout->addWidget(text, 1);
    return line;
}

} // namespace

// ---- AccessCallout

AccessCallout::AccessCallout(std::function<void()> open, QWidget* parent)
    : QWidget(parent), m_open(std::move(open)) {
    setObjectName(QStringLiteral("accessCallout"));
    const PlatformText::AccessSettings wording = PlatformText::accessSettings();
    const QString heading = QStringLiteral("Allow Accessibility access");
    // One container for assistive technologies: its name is the heading, its children stay reachable.
    setAccessibleName(heading);
    setAccessibleDescription(wording.explanation);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    layout->addWidget(symbolLine(
        QStringLiteral("hand.raised.fill"), Style::Tone::Orange,
        makeLabel(heading, Style::Text::Callout, Style::Tone::Primary, this, QFont::DemiBold), this));
    layout->addWidget(makeLabel(wording.explanation, Style::Text::Caption, Style::Tone::Secondary, this));
    m_button = new PanelButton(wording.button, PanelButton::Kind::Standard, PanelButton::Size::Small, this);
    m_button->setAccessibleName(wording.button);
    connect(m_button, &QAbstractButton::clicked, this, [this] {
        if (m_open)
            m_open();
    });
    layout->addWidget(m_button, 0, Qt::AlignLeft);
}

void AccessCallout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Style::color(Style::Tone::Orange, palette(), 0.10));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

// ---- AgentSettingsView

AgentSettingsView::AgentSettingsView(SimulatorPanelModel& model, bool hasRuntime, QWidget* parent)
    : QWidget(parent), m_model(model) {
    setObjectName(QStringLiteral("agentSettings"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    const QString notice = hasRuntime
                               ? QStringLiteral("Bridge offline. Open a project in the Tallyrig window.")
                               : QStringLiteral("Bridge offline. Start it with tallyrig start.");
    QLabel* noticeText = makeLabel(notice, Style::Text::Caption, Style::Tone::Secondary, this);
    m_notice = symbolLine(QStringLiteral("bolt.horizontal.circle"), Style::Tone::Secondary, noticeText, this);
    m_notice->setObjectName(QStringLiteral("offlineNotice"));
    m_notice->setAccessibleName(notice);
    layout->addWidget(m_notice);

    for (const AgentSetting& setting : AgentSettings::all) {
        auto* line = new QWidget(this);
        auto* lineLayout = row(line, 8);
        QLabel* title = makeLabel(setting.title, Style::Text::Callout, Style::Tone::Primary, line);
        title->setWordWrap(false);
        lineLayout->addWidget(title);
        lineLayout->addStretch(1);
        auto* toggle = new MiniSwitch(line);
        toggle->setAccessibleName(setting.title);
        toggle->setAccessibleDescription(setting.help);
        lineLayout->addWidget(toggle);
        // The help text belongs to the whole row.
        line->setToolTip(setting.help);
        const QString key = setting.key;
        connect(toggle, &MiniSwitch::turned, this, [this, key](bool on) { m_model.setSetting(key, on); });
        layout->addWidget(line);
        m_titles.append(title);
        m_switches.append(toggle);
    }

    connect(&m_model, &SimulatorPanelModel::offlineChanged, this, &AgentSettingsView::refresh);
    connect(&m_model, &SimulatorPanelModel::autoDispatchChanged, this, &AgentSettingsView::refresh);
    connect(&m_model, &SimulatorPanelModel::autoRelaunchChanged, this, &AgentSettingsView::refresh);
    refresh();
}

MiniSwitch* AgentSettingsView::switchFor(const QString& key) const {
    for (int i = 0; i < AgentSettings::all.size(); ++i) {
        if (AgentSettings::all[i].key == key)
            return m_switches.value(i);
    }
    return nullptr;
}

void AgentSettingsView::refresh() {
    m_notice->setVisible(m_model.offline());
    const std::optional<bool> values[] = {m_model.autoDispatch(), m_model.autoRelaunch()};
    for (int i = 0; i < m_switches.size() && i < 2; ++i)
        m_switches[i]->setChecked(values[i].value_or(false));
    // Nothing can be changed before the bridge has told what the settings are.
    const bool known = m_model.autoDispatch().has_value();
    setEnabled(known);
    for (QLabel* title : m_titles)
        setTone(title, known ? Style::Tone::Primary : Style::Tone::Tertiary);
}

// ---- SimulatorPanelView

SimulatorPanelView::SimulatorPanelView(SimulatorPanelModel& model, Settings& settings, bool hasRuntime,
                                       PanelViewTimings timings, QWidget* parent)
    : QWidget(parent), m_model(model), m_settings(settings), m_background(new VisualEffect(this)) {
    setObjectName(QStringLiteral("simulatorPanel"));
    setAccessibleName(QStringLiteral("Simulator panel"));
    setFixedWidth(panelWidth);
    m_background->lower();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(sectionSpacing);
    layout->addWidget(makeTitleRow());

    m_callout = new AccessCallout(
        [this] {
            if (PanelControl* controller = m_model.controller())
                controller->requestAccess();
        },
        this);
    layout->addWidget(m_callout);
    m_offer = new OfferView(m_model, this);
    layout->addWidget(m_offer);

    m_pickingText = makeLabel(pickingHint, Style::Text::Callout, Style::Tone::Secondary, this);
    m_pickingText->setObjectName(QStringLiteral("pickingText"));
    m_pickingHint = symbolLine(QStringLiteral("scope"), Style::Tone::Secondary, m_pickingText, this);
    m_pickingHint->setObjectName(QStringLiteral("pickingHint"));
    layout->addWidget(m_pickingHint);
    m_pickingMore = makeLabel(QStringLiteral("Shift-click to pin several. Arrow keys move, Return picks."),
                              Style::Text::Caption, Style::Tone::Tertiary, this);
    m_pickingMore->setObjectName(QStringLiteral("pickingMore"));
    layout->addWidget(m_pickingMore);

    m_capturing = new QWidget(this);
    m_capturing->setObjectName(QStringLiteral("capturing"));
    auto* capturing = row(m_capturing, 6);
    capturing->addWidget(new Spinner(12, m_capturing));
    QLabel* capturingText = makeLabel(QStringLiteral("Capturing screen\u2026"), Style::Text::Callout,
                                      Style::Tone::Secondary, m_capturing);
    capturing->addWidget(capturingText, 1);
    m_capturing->setAccessibleName(capturingText->text());
    layout->addWidget(m_capturing);

    m_composer = new Composer(m_model, this);
    layout->addWidget(m_composer);

    auto* hint = new SymbolText(
        QStringLiteral("Press "), QStringLiteral("scope"),
        QStringLiteral(" and click an element to report a UI change."),
        QStringLiteral("Press the targeting button and click an element to report a UI change."), this);
    hint->setFont(Style::font(Style::Text::Callout));
    setTone(hint, Style::Tone::Secondary);
    m_targetHint = hint;
    m_targetHint->setObjectName(QStringLiteral("targetHint"));
    layout->addWidget(m_targetHint);

    m_errorText = makeLabel(QString(), Style::Text::Caption, Style::Tone::Red, this);
    m_errorText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorLine =
        symbolLine(QStringLiteral("exclamationmark.triangle.fill"), Style::Tone::Red, m_errorText, this);
    m_errorLine->setObjectName(QStringLiteral("errorLine"));
    layout->addWidget(m_errorLine);

    m_progressDivider = new Divider(this);
    layout->addWidget(m_progressDivider);
    m_progress = new Progress(m_model, std::move(timings), this);
    layout->addWidget(m_progress);

    layout->addWidget(new Divider(this));
    m_settingsView = new AgentSettingsView(m_model, hasRuntime, this);
    layout->addWidget(m_settingsView);

    connect(&m_model, &SimulatorPanelModel::deviceTitleChanged, m_deviceTitle, &QLabel::setText);
    connect(&m_model, &SimulatorPanelModel::pickingChanged, this, &SimulatorPanelView::showPicking);
    connect(&m_model, &SimulatorPanelModel::highlightedChanged, this, &SimulatorPanelView::showHighlighted);
    connect(&m_model, &SimulatorPanelModel::readingChanged, this, &SimulatorPanelView::showPicking);
    connect(&m_model, &SimulatorPanelModel::followsWindowChanged, this, &SimulatorPanelView::showPicking);
    connect(&m_model, &SimulatorPanelModel::escapeOnlyHereChanged, this, &SimulatorPanelView::showPicking);
    for (auto signal : {&SimulatorPanelModel::pickingChanged, &SimulatorPanelModel::capturingChanged,
                        &SimulatorPanelModel::trustedChanged})
        connect(&m_model, signal, this, &SimulatorPanelView::showMainArea);
    connect(&m_model, &SimulatorPanelModel::draftChanged, this, &SimulatorPanelView::showMainArea);
    connect(&m_model, &SimulatorPanelModel::reportChanged, this, &SimulatorPanelView::showMainArea);
    connect(&m_model, &SimulatorPanelModel::reportChanged, this, &SimulatorPanelView::showReport);
    connect(&m_model, &SimulatorPanelModel::errorChanged, this, &SimulatorPanelView::showError);

    showPicking();
    showMainArea();
    showError();
    showReport();
    m_preferred = sizeHint();
    resize(m_preferred);
}

QWidget* SimulatorPanelView::makeTitleRow() {
    auto* titleRow = new QWidget(this);
    auto* layout = row(titleRow, 8);
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    QLabel* name =
        makeLabel(QStringLiteral("Tallyrig"), Style::Text::Headline, Style::Tone::Primary, titleRow);
    name->setWordWrap(false);
    names->addWidget(name);
    auto* device = new ClampedLabel(1, titleRow);
    device->setFont(Style::font(Style::Text::Caption));
    setTone(device, Style::Tone::Secondary);
    device->setText(m_model.deviceTitle());
    m_deviceTitle = device;
    names->addWidget(device);
    layout->addLayout(names, 1);

    m_target = new SymbolButton(QStringLiteral("scope"), 15, QSize(30, 26), titleRow);
    m_target->setPlateRadius(7);
    m_target->setWeight(QFont::Medium);
    m_target->setMirrorsState(true);
    connect(m_target, &QAbstractButton::clicked, this, [this] {
        if (PanelControl* controller = m_model.controller())
            controller->togglePick();
    });
    layout->addWidget(m_target, 0, Qt::AlignVCenter);

    // What the panel follows: the Simulator, or a window chosen with one click.
    m_window = new SymbolButton(QStringLiteral("macwindow"), 14, QSize(26, 26), titleRow);
    m_window->setTones(Style::Tone::Secondary);
    m_window->setPlateRadius(7);
    m_window->setToolTip(QStringLiteral("Target Window\u2026"));
    m_window->setAccessibleName(QStringLiteral("Target Window\u2026"));
    m_window->setAccessibleDescription(
        QStringLiteral("Follow another app\u2019s window, or the Simulator again"));
    m_windowMenu = new QMenu(m_window);
    QAction* choose = m_windowMenu->addAction(QStringLiteral("Target Window\u2026"));
    QAction* simulator = m_windowMenu->addAction(QStringLiteral("Follow the Simulator"));
    simulator->setCheckable(true);
    connect(choose, &QAction::triggered, this, [this] {
        if (PanelControl* controller = m_model.controller())
            controller->chooseTarget();
    });
    connect(simulator, &QAction::triggered, this, [this] {
        if (PanelControl* controller = m_model.controller())
            controller->followSimulator();
    });
    connect(m_windowMenu, &QMenu::aboutToShow, this,
            [this, simulator] { simulator->setChecked(!m_model.followsWindow()); });
    connect(m_window, &QAbstractButton::clicked, this,
            [this] { m_windowMenu->popup(m_window->mapToGlobal(QPoint(0, m_window->height()))); });
    layout->addWidget(m_window, 0, Qt::AlignVCenter);

    m_hide = new SymbolButton(QStringLiteral("xmark"), 11, QSize(22, 22), titleRow);
    m_hide->setTones(Style::Tone::Secondary);
    m_hide->setPlateRadius(11);
    m_hide->setWeight(QFont::DemiBold);
    m_hide->setToolTip(QStringLiteral("Hide the Simulator panel ") +
                       PlatformText::shortcutHint(Shortcuts::simulatorPanel()));
    m_hide->setAccessibleName(QStringLiteral("Hide Simulator panel"));
    connect(m_hide, &QAbstractButton::clicked, this, [this] {
        // Without a controller nothing would hide the panel, so nothing is stored either.
        if (m_model.controller())
            m_settings.setSimulatorPanel(false);
    });
    layout->addWidget(m_hide, 0, Qt::AlignVCenter);
    return titleRow;
}

void SimulatorPanelView::showHighlighted() {
    // Said by a screen reader as the hint, which has the panel's keyboard focus while targeting,
    // changes its name: the element's name as its tag shows it.
    const QString& hint = m_model.reading()          ? readingHint
                          : m_model.followsWindow()  ? windowPickingHint
                          : m_model.escapeOnlyHere() ? pickingHintEscapeHere
                                                     : pickingHint;
    m_pickingText->setText(hint);
    m_pickingText->setAccessibleName(m_model.highlighted().value_or(hint));
}

void SimulatorPanelView::showPicking() {
    const bool picking = m_model.picking();
    // While targeting the panel holds the keyboard for the keys that move the highlight; its focus
    // rests on the hint, whose name follows the highlight.
    m_pickingText->setFocusPolicy(picking ? Qt::StrongFocus : Qt::NoFocus);
    showHighlighted();
    m_target->setChecked(picking);
    if (picking)
        m_target->setTones(Style::Tone::White, Style::Tone::Brand, 1);
    else
        m_target->setTones(Style::Tone::Primary, Style::Tone::Primary, 0.07);
    m_target->setToolTip(picking                   ? QStringLiteral("Stop targeting (Esc)")
                         : m_model.followsWindow() ? QStringLiteral("Target an element in the window")
                                                   : QStringLiteral("Target an element in the Simulator"));
    m_target->setAccessibleName(picking ? QStringLiteral("Stop targeting")
                                        : QStringLiteral("Target an element"));
    showMainArea();
}

void SimulatorPanelView::showMainArea() {
    m_callout->setVisible(!m_model.trusted());
    // Exactly one of these, in this order of precedence.
    const bool picking = m_model.picking();
    const bool capturing = !picking && m_model.capturing();
    const bool composing = !picking && !capturing && m_model.draft().has_value();
    const bool hinting = !picking && !capturing && !composing && m_model.trusted() && !m_model.report();
    if (composing)
        m_composer->setDraft(*m_model.draft());
    m_pickingHint->setVisible(picking);
    m_pickingMore->setVisible(picking && !m_model.reading());
    if (picking)
        m_pickingText->setFocus(Qt::OtherFocusReason);
    m_capturing->setVisible(capturing);
    m_composer->setVisible(composing);
    m_targetHint->setVisible(hinting);
}

void SimulatorPanelView::showError() {
    const std::optional<QString> error = m_model.error();
    m_errorText->setText(error.value_or(QString()));
    m_errorLine->setAccessibleName(error.value_or(QString()));
    m_errorLine->setVisible(error.has_value());
}

void SimulatorPanelView::showReport() {
    const std::optional<TrackedReport>& report = m_model.report();
    if (report)
        m_progress->setReport(*report);
    m_progressDivider->setVisible(report.has_value());
    m_progress->setVisible(report.has_value());
}

int SimulatorPanelView::heightForWidth(int width) const {
    QLayout* layout = this->layout();
    return layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                       : layout->totalSizeHint().height();
}

QSize SimulatorPanelView::sizeHint() const {
    return {panelWidth, heightForWidth(panelWidth)};
}

bool SimulatorPanelView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        followPreferredSize();
    return handled;
}

void SimulatorPanelView::followPreferredSize() {
    const QSize preferred = sizeHint();
    if (preferred == m_preferred)
        return;
    m_preferred = preferred;
    updateGeometry();
    // Shown on its own (a test, a picture), the view is its window and sizes it itself.
    if (isWindow())
        resize(preferred);
    emit preferredSizeChanged(preferred);
}

void SimulatorPanelView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_background->setGeometry(rect());
}
