#include "panel/Progress.h"

#include "foundation/CommonWidgets.h"
#include "panel/PictureViews.h"
#include "panel/ReportStatus.h"
#include "panel/SimulatorPanelModel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

using namespace PanelWidgets;

namespace {

const QString revertTitle = QStringLiteral("Revert");
const QString armedTitle = QStringLiteral("Undo files?");
const QString armedHint = QStringLiteral("Activate again to undo the agent's changes");

// The track's geometry, in points.
constexpr int columnGap = 4;
constexpr int rowGap = 3;
constexpr int capsuleHeight = 3;
// The before and after thumbnails, in points.
constexpr int comparisonHeight = 96;

// The step names are set at 10 points.
QFont stepFont(bool current) {
    return Style::font(10.0, current ? QFont::DemiBold : QFont::Normal);
}

const ReviewAction& action(const QString& name) {
    return *ReviewActions::find(name);
}

} // namespace

// ---- RevertButton

RevertButton::RevertButton(std::function<void()> revert, std::chrono::milliseconds arming,
                           std::chrono::milliseconds reading, QWidget* parent)
    : PanelButton(revertTitle, Kind::Standard, Size::Small, parent), m_revert(std::move(revert)),
      m_arming(arming), m_reading(reading) {
    setTextTone(Style::Tone::Red);
    setToolTip(action(ReviewActions::revert).help);
    setAccessibleName(revertTitle);
    connect(this, &QAbstractButton::clicked, this, &RevertButton::press);
}

void RevertButton::press() {
    if (m_armed) {
        if (m_shown.elapsed() < m_reading.count())
            return;
        setArmed(false);
        m_revert();
        return;
    }
    setArmed(true);
    m_shown.start();
    // Every arming has a timer of its own, and none is stopped early: an earlier arming's timer
    // may end a later arming before its time.
    QTimer::singleShot(m_arming, this, [this] { setArmed(false); });
}

void RevertButton::setArmed(bool armed) {
    if (m_armed == armed)
        return;
    m_armed = armed;
    setText(armed ? armedTitle : revertTitle);
    setAccessibleName(text());
    setAccessibleDescription(armed ? armedHint : QString());
    updateGeometry();
    update();
}

// ---- StepTrack

StepTrack::StepTrack(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StepTrack::setStatus(const QString& status) {
    m_step = ReportStatus::step(status);
    m_finished = ReportStatus::isDone(status);
    const int shown = std::min(m_step, 3);
    setAccessibleName(QStringLiteral("Step %1 of %2: %3")
                          .arg(shown + 1)
                          .arg(ReportStatus::steps.size())
                          .arg(ReportStatus::steps.value(shown)));
    update();
}

QSize StepTrack::sizeHint() const {
    return {200, capsuleHeight + rowGap + QFontMetrics(stepFont(true)).height()};
}

void StepTrack::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int count = int(ReportStatus::steps.size());
    const qreal column = (width() - (count - 1) * columnGap) / qreal(count);
    const QColor primary = Style::color(Style::Tone::Primary, palette());
    for (int i = 0; i < count; ++i) {
        const qreal x = i * (column + columnGap);
        const bool current = i == m_step && !m_finished;
        QColor capsule = Style::color(Style::Tone::Primary, palette(), 0.12);
        if (i < m_step || m_finished)
            capsule = primary;
        else if (current)
            capsule = Style::brand();
        painter.setPen(Qt::NoPen);
        painter.setBrush(capsule);
        painter.drawRoundedRect(QRectF(x, 0, column, capsuleHeight), capsuleHeight / 2.0,
                                capsuleHeight / 2.0);

        const QFont font = stepFont(current);
        painter.setFont(font);
        painter.setPen(current ? primary : Style::color(Style::Tone::Secondary, palette()));
        const QRectF name(x, capsuleHeight + rowGap, column, QFontMetrics(font).height());
        painter.drawText(
            name, Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetrics(font).elidedText(ReportStatus::steps.value(i), Qt::ElideRight, int(column)));
    }
}

// ---- Progress

Progress::Progress(SimulatorPanelModel& model, PanelViewTimings timings, QWidget* parent)
    : QWidget(parent), m_model(model), m_timings(std::move(timings)), m_statusRow(new QWidget(this)),
      m_spinner(new Spinner(12)), m_dot(new Dot(8, Style::Tone::Orange)),
      m_check(new SymbolView(QStringLiteral("checkmark.circle.fill"), Style::Tone::Green, 14)),
      m_cross(new SymbolView(QStringLiteral("xmark.circle.fill"), Style::Tone::Red, 14)),
      m_title(makeLabel(QString(), Style::Text::Callout, Style::Tone::Primary, m_statusRow, QFont::DemiBold)),
      m_elapsed(new TabularLabel(m_statusRow)),
      m_dismiss(new SymbolButton(QStringLiteral("xmark"), 9, QSize(18, 18), m_statusRow)),
      m_request(new ClampedLabel(3, this)), m_track(new StepTrack(this)), m_comparison(new QWidget(this)),
      m_before(new Thumbnail(QStringLiteral("Before"), comparisonHeight, m_comparison)),
      m_after(new Thumbnail(QStringLiteral("After"), comparisonHeight, m_comparison)),
      m_afterError(makeLabel(QString(), Style::Text::Caption, Style::Tone::Red, m_comparison)),
      m_reviewRow(new QWidget(this)),
      m_commit(new PanelButton(action(ReviewActions::commit).title, PanelButton::Kind::Prominent,
                               PanelButton::Size::Small, m_reviewRow)),
      m_verify(new PanelButton(action(ReviewActions::verify).title, PanelButton::Kind::Standard,
                               PanelButton::Size::Small, m_reviewRow)),
      m_revert(new RevertButton([this] { m_model.act(ReviewActions::revert); }, m_timings.revertArming,
                                m_timings.revertReading, m_reviewRow)),
      m_link(
          new LinkButton(QStringLiteral("arrow.up.forward.app"), QStringLiteral("Open in dashboard"), this)) {
    setObjectName(QStringLiteral("progress"));
    // Named for tests and for finding one's way in an accessibility inspector.
    const std::pair<QObject*, const char*> names[] = {
        {m_statusRow, "statusRow"},   {m_spinner, "working"},       {m_dot, "inReview"},
        {m_check, "finished"},        {m_cross, "other"},           {m_title, "title"},
        {m_elapsed, "elapsed"},       {m_dismiss, "dismiss"},       {m_request, "request"},
        {m_track, "stepTrack"},       {m_reviewRow, "reviewRow"},   {m_commit, "commit"},
        {m_comparison, "comparison"}, {m_afterError, "afterError"}, {m_verify, "verify"},
        {m_revert, "revert"},         {m_link, "dashboardLink"},
    };
    for (const auto& [object, name] : names)
        object->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    // The indicators share one square so the title never shifts between states.
    auto* indicator = new QWidget(m_statusRow);
    indicator->setFixedSize(14, 14);
    auto* stack = new QGridLayout(indicator);
    stack->setContentsMargins(0, 0, 0, 0);
    for (QWidget* each : {static_cast<QWidget*>(m_spinner), static_cast<QWidget*>(m_dot),
                          static_cast<QWidget*>(m_check), static_cast<QWidget*>(m_cross)}) {
        each->setParent(indicator);
        stack->addWidget(each, 0, 0, Qt::AlignCenter);
    }
    auto* row = new QHBoxLayout(m_statusRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(indicator);
    m_title->setWordWrap(false);
    row->addWidget(m_title);
    row->addStretch(1);
    m_elapsed->setFont(Style::font(Style::Text::Caption));
    setTone(m_elapsed, Style::Tone::Secondary);
    row->addWidget(m_elapsed);
    m_dismiss->setTones(Style::Tone::Secondary);
    m_dismiss->setPlateRadius(9);
    m_dismiss->setWeight(QFont::DemiBold);
    m_dismiss->setToolTip(QStringLiteral("Dismiss"));
    m_dismiss->setAccessibleName(QStringLiteral("Dismiss progress"));
    row->addWidget(m_dismiss);
    layout->addWidget(m_statusRow);

    m_request->setFont(Style::font(Style::Text::Caption));
    setTone(m_request, Style::Tone::Secondary);
    layout->addWidget(m_request);
    layout->addWidget(m_track);

    // Before and after, side by side, each captioned below; a failed capture's words in place of
    // the second.
    auto* comparison = new QHBoxLayout(m_comparison);
    comparison->setContentsMargins(0, 0, 0, 0);
    comparison->setSpacing(12);
    for (Thumbnail* picture : {m_before, m_after}) {
        auto* column = new QVBoxLayout;
        column->setSpacing(3);
        column->addWidget(picture, 0, Qt::AlignHCenter);
        if (picture == m_after)
            column->addWidget(m_afterError);
        QLabel* caption =
            makeLabel(picture->accessibleName(), Style::Text::Caption, Style::Tone::Secondary, m_comparison);
        caption->setAlignment(Qt::AlignHCenter);
        // The picture says its name itself.
        caption->setAccessibleName(QString());
        column->addWidget(caption);
        column->addStretch(1);
        comparison->addLayout(column);
    }
    comparison->addStretch(1);
    m_afterError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Room to wrap in, beside "Before".
    m_afterError->setMinimumWidth(180);
    layout->addWidget(m_comparison);

    auto* actions = new QHBoxLayout(m_reviewRow);
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(6);
    for (PanelButton* button : {m_commit, m_verify}) {
        const QString name = button == m_commit ? ReviewActions::commit : ReviewActions::verify;
        button->setToolTip(action(name).help);
        button->setAccessibleName(button->text());
        connect(button, &QAbstractButton::clicked, this, [this, name] { m_model.act(name); });
        actions->addWidget(button);
    }
    actions->addWidget(m_revert);
    actions->addStretch(1);
    layout->addWidget(m_reviewRow);

    m_link->setAccessibleName(m_link->text());
    layout->addWidget(m_link, 0, Qt::AlignLeft);

    connect(m_dismiss, &QAbstractButton::clicked, &m_model, &SimulatorPanelModel::dismissReport);
    connect(m_link, &QAbstractButton::clicked, &m_model, &SimulatorPanelModel::openInDashboard);
    connect(&m_model, &SimulatorPanelModel::afterChanged, this, &Progress::showComparison);
    connect(&m_model, &SimulatorPanelModel::actingChanged, this,
            [this](bool acting) { m_reviewRow->setEnabled(!acting); });
    m_reviewRow->setEnabled(!m_model.acting());

    // It shows for as long as the agent works.
    m_spinner->setFrameInterval(Spinner::calmFrameInterval);
    m_tick.setSingleShot(true);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        updateElapsed();
        scheduleTick();
    });
}

void Progress::setReport(const TrackedReport& report) {
    if (report == m_report)
        return;
    m_report = report;
    refresh();
}

void Progress::refresh() {
    const QString& status = m_report.status;
    const ReportStatus::Group group = ReportStatus::group(status);
    const bool working = group == ReportStatus::Group::Working;

    m_spinner->setVisible(working);
    m_dot->setVisible(group == ReportStatus::Group::Review);
    m_check->setVisible(group == ReportStatus::Group::Done);
    m_cross->setVisible(group == ReportStatus::Group::Other);
    m_title->setText(ReportStatus::title(status));
    m_elapsed->setVisible(working);
    m_dismiss->setVisible(!working);

    m_request->setText(m_report.request);
    m_request->setVisible(!m_report.request.isEmpty());

    m_track->setStatus(status);
    m_track->setVisible(group != ReportStatus::Group::Other);

    const bool review = group == ReportStatus::Group::Review;
    if (!review)
        m_revert->disarm();
    m_reviewRow->setVisible(review);
    showComparison();

    updateElapsed();
    if (working && isVisible())
        scheduleTick();
    else
        m_tick.stop();
}

void Progress::showComparison() {
    const bool shown = m_report.sent && m_report.status == ReportStatus::review;
    m_comparison->setVisible(shown);
    if (!shown)
        return;
    m_before->setPicture(m_report.sent->png, m_report.sent->thumbnail);
    const PanelComparison::After& after = m_model.after();
    using State = PanelComparison::After::State;
    if (after.state == State::Taken)
        m_after->setPicture(after.png, after.thumbnail);
    else
        m_after->setWaiting();
    m_after->setVisible(after.state != State::Failed);
    m_afterError->setText(after.error);
    m_afterError->setVisible(after.state == State::Failed);
}

QString Progress::elapsedText() const {
    const qint64 milliseconds = m_report.started.msecsTo(m_timings.now());
    // Whole seconds, truncated; a clock that moved back shows 0s rather than a negative time.
    return QString::number(std::max<qint64>(0, milliseconds / 1000)) + QLatin1Char('s');
}

void Progress::updateElapsed() {
    const bool working = ReportStatus::isWorking(m_report.status);
    const QString elapsed = working ? elapsedText() : QString();
    if (m_elapsed->text() != elapsed)
        m_elapsed->setText(elapsed);
    const QString spoken = working ? m_title->text() + QStringLiteral(", ") + elapsed : m_title->text();
    if (m_statusRow->accessibleName() != spoken)
        m_statusRow->setAccessibleName(spoken);
}

void Progress::scheduleTick() {
    // Wakes just after the next whole second of elapsed time, so the number never lags.
    const qint64 refresh = m_timings.elapsedRefresh.count();
    const qint64 elapsed = m_report.started.msecsTo(m_timings.now());
    const qint64 wait = elapsed >= 0 ? refresh - elapsed % refresh : refresh;
    m_tick.start(int(wait) + 2);
}

void Progress::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void Progress::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_tick.stop();
}
