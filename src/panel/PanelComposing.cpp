#include "panel/PanelComposing.h"

#include "foundation/Detach.h"
#include "foundation/PanelError.h"
#include "foundation/Within.h"
#include "panel/PanelTracking.h"
#include "panel/Prompt.h"
#include "simulator/Simctl.h"

#include <QDateTime>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString noReport = QStringLiteral("The bridge didn\u2019t return a report");

// The draft's pictures, drawn on a thread of the pool from copies of what they are made of.
QFuture<Annotation::Rendered> draw(const Draft& draft) {
    return QtConcurrent::run(&Annotation::render, draft.png, placeAll(draft), draft.mapping.size);
}

} // namespace

// Every task below touches nothing after a wait before it has seen the part is still there.

PanelComposing::PanelComposing(const BridgeApi::Client& bridge, platform::SimulatorTool& tool,
                               PanelTracking& tracking, QObject* parent)
    : QObject(parent), m_bridge(bridge), m_tool(tool), m_tracking(tracking), m_refreshKey(refreshKey()) {
    connect(&m_drawn, &QFutureWatcherBase::finished, this, [this] {
        // Only the current draft's drawing is watched; a finished one that a newer draft replaced
        // never gets here.
        if (!m_draft || !m_drawing.isFinished() || m_drawing.isCanceled())
            return;
        m_pictures = std::make_shared<const Annotation::Rendered>(m_drawing.result());
        emit picturesChanged();
    });
}

void PanelComposing::setComment(const QString& comment) {
    if (m_comment == comment)
        return;
    m_comment = comment;
    emit commentChanged(comment);
    updateDerived();
}

void PanelComposing::setCategory(const std::optional<QString>& category) {
    if (m_category == category)
        return;
    m_category = category;
    emit categoryChanged(category);
    updateDerived();
}

void PanelComposing::setShowContext(bool show) {
    if (std::exchange(m_showContext, show) == show)
        return;
    emit showContextChanged(show);
    updateDerived();
}

void PanelComposing::setCapturing(bool capturing) {
    if (std::exchange(m_capturing, capturing) != capturing)
        emit capturingChanged(capturing);
}

void PanelComposing::setDraft(std::optional<Draft> draft) {
    if (m_draft == draft)
        return;
    m_draft = std::move(draft);
    ++m_drafts;
    // A preview on its way belongs to the draft that was.
    ++m_previews;
    const bool hadPictures = m_pictures != nullptr;
    m_pictures.reset();
    m_drawing = m_draft ? draw(*m_draft) : QFuture<Annotation::Rendered>();
    m_drawn.setFuture(m_drawing);
    emit draftChanged();
    if (hadPictures)
        emit picturesChanged();
    updateDerived();
}

void PanelComposing::setPacket(const QString& packet) {
    if (m_packet == packet)
        return;
    m_packet = packet;
    emit packetChanged(packet);
}

void PanelComposing::setSending(bool sending) {
    if (std::exchange(m_sending, sending) == sending)
        return;
    emit sendingChanged(sending);
    updateDerived();
}

bool PanelComposing::canSend() const {
    return m_draft && !m_sending && !m_comment.trimmed().isEmpty();
}

QString PanelComposing::refreshKey() const {
    return (m_showContext ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('|') + m_comment +
           QLatin1Char('|') + m_category.value_or(QString());
}

void PanelComposing::updateDerived() {
    const bool sendable = canSend();
    if (std::exchange(m_canSend, sendable) != sendable)
        emit canSendChanged(sendable);
    QString key = refreshKey();
    if (key != m_refreshKey) {
        m_refreshKey = key;
        emit refreshKeyChanged(m_refreshKey);
    }
}

QString PanelComposing::prompt() const {
    return m_draft ? Prompt::markdown(*m_draft, m_comment, m_category) : QString();
}

ReportBody PanelComposing::payload(const Draft& draft, const std::optional<ReportPictures>& pictures) const {
    return ::payload(draft, m_comment, m_category, pictures);
}

void PanelComposing::select(const std::vector<PickResult>& pins) {
    if (pins.empty())
        return;
    setDraft(std::nullopt);
    emit errorReported(std::nullopt);
    setPacket(QString());
    setCapturing(true);
    detach(capture(pins, ++m_captures), this);
}

void PanelComposing::removePin(std::size_t index) {
    if (!m_draft)
        return;
    if (std::optional<Draft> fewer = m_draft->without(index))
        setDraft(std::move(fewer));
    else
        discard();
}

QCoro::Task<> PanelComposing::capture(std::vector<PickResult> pins, quint64 serial) {
    const QPointer<PanelComposing> self(this);
    // The last pick wins: a capture that a later pick overtook leaves no draft, error or end.
    const auto overtaken = [&] { return !self || serial != m_captures; };
    std::optional<QString> failure;
    // One screenshot serves every pin; the first pin's window names the device.
    const PickResult& pick = pins.front();
    try {
        std::optional<Draft> made;
        if (pick.window.kind == SimulatorWindow::Kind::Window && !pick.window.still)
            throw Failure(QStringLiteral("The window isn\u2019t on screen"));
        if (const std::shared_ptr<const DeviceStill>& still = pick.window.still) {
            // Picked on a still picture: the report is made of that very picture.
            made = Draft{pins, still->device, DeviceMapping(pick.screen, still->points), still->png};
        } else {
            const Simctl::Device device =
                co_await Simctl::device(m_tool, pick.window.deviceName(), pick.window.runtime());
            if (overtaken())
                co_return;
            QByteArray png = co_await Simctl::screenshot(m_tool, device.udid);
            if (overtaken())
                co_return;
            const std::optional<QSize> pixels = Simctl::pixelSize(png);
            if (!pixels)
                throw PanelError(QStringLiteral("Unreadable screenshot"));
            made =
                Draft{pins, device, DeviceMapping(pick.screen, QSizeF(*pixels), device.name), std::move(png)};
        }
        Draft& draft = *made;
        // A screen without width maps every point to infinity, which JSON cannot carry.
        const std::vector<DevicePlacement> placements = placeAll(draft);
        if (!std::isfinite(draft.mapping.factor) || draft.mapping.factor <= 0 ||
            !std::all_of(placements.begin(), placements.end(),
                         [](const DevicePlacement& p) { return p.isFinite(); }))
            throw PanelError(QStringLiteral("The device screen has no size"));
        setDraft(std::move(draft));
    } catch (const Failure& failed) {
        // Here and below only what the tool and the bridge throw is shown; a fault of ours goes on
        // to the task's runner, which logs it.
        failure = failed.description();
    }
    if (overtaken())
        co_return;
    if (failure)
        emit errorReported((pick.window.kind == SimulatorWindow::Kind::Window
                                ? QStringLiteral("Couldn\u2019t capture the window: ")
                                : QStringLiteral("Couldn\u2019t capture the simulator: ")) +
                           *failure);
    setCapturing(false);
}

void PanelComposing::send() {
    if (!canSend())
        return;
    setSending(true);
    emit errorReported(std::nullopt);
    detach(submit(payload(*m_draft, std::nullopt), *m_draft, m_drafts, m_comment.trimmed()), this);
}

QCoro::Task<std::shared_ptr<const Annotation::Rendered>> PanelComposing::picturesOf(Draft draft,
                                                                                    quint64 serial) {
    if (serial == m_drafts && m_pictures)
        co_return m_pictures;
    const QPointer<PanelComposing> self(this);
    const QFuture<Annotation::Rendered> drawing =
        serial == m_drafts && m_drawing.isValid() ? m_drawing : ::draw(draft);
    QFutureWatcher<Annotation::Rendered> watcher;
    watcher.setFuture(drawing);
    if (!drawing.isFinished() && !co_await Within::signal(this, &watcher, &QFutureWatcherBase::finished))
        co_return std::shared_ptr<const Annotation::Rendered>();
    if (!self)
        co_return std::shared_ptr<const Annotation::Rendered>();
    co_return std::make_shared<const Annotation::Rendered>(drawing.result());
}

QCoro::Task<> PanelComposing::submit(ReportBody body, Draft draft, quint64 serial, QString request) {
    const QPointer<PanelComposing> self(this);
    const QString udid = draft.device.udid;
    const bool window = draft.pick().window.kind == SimulatorWindow::Kind::Window;
    const QByteArray screenshot = draft.png;
    // Sent with its pictures: they are usually drawn by now, else the submission waits for them
    // without holding up the UI thread.
    const std::shared_ptr<const Annotation::Rendered> pictures =
        co_await picturesOf(std::move(draft), serial);
    if (!self || !pictures)
        co_return;
    body.pictures = pictures->pictures;
    nlohmann::json answer;
    try {
        answer = co_await m_bridge.call(QStringLiteral("/report"), std::move(body));
    } catch (const Failure& failure) {
        if (self) {
            emit errorReported(failure.description());
            setSending(false);
        }
        co_return;
    }
    if (!self)
        co_return;
    const std::optional<QString> id = BridgeApi::text(answer, "id");
    // A report whose id cannot go back to the bridge could never be followed.
    if (!id || !BridgeApi::sendableId(*id)) {
        emit errorReported(noReport);
        setSending(false);
        co_return;
    }
    // "Before", for when the report is in review: the picture with its pins, else the one sent.
    const bool annotated = !pictures->annotatedPng.isEmpty();
    auto sent = std::make_shared<const SentPicture>(
        SentPicture{udid, annotated ? pictures->annotatedPng : screenshot, pictures->thumbnail, window});
    m_tracking.setReport(TrackedReport{*id, request, QDateTime::currentDateTimeUtc(),
                                       BridgeApi::text(answer, "status").value_or(QStringLiteral("sent")),
                                       std::move(sent)});
    setDraft(std::nullopt);
    setComment(QString());
    setCategory(std::nullopt);
    setPacket(QString());
    emit errorReported(std::nullopt);
    try {
        co_await m_tracking.poll();
    } catch (const std::exception& unexpected) {
        // Whatever the pass did, the submission is over: Send must work again.
        qWarning("Tallyrig: the polling pass after a submission failed: %s", unexpected.what());
    }
    if (self)
        setSending(false);
}

void PanelComposing::discard() {
    setDraft(std::nullopt);
    setComment(QString());
    setCategory(std::nullopt);
    setPacket(QString());
    emit errorReported(std::nullopt);
}

QCoro::Task<> PanelComposing::refreshPacket() {
    if (!m_showContext || !m_draft)
        co_return;
    const QPointer<PanelComposing> self(this);
    // Only the answer to the latest refresh of the current draft is shown.
    const quint64 serial = ++m_previews;
    QString text;
    try {
        const nlohmann::json answer =
            co_await m_bridge.call(QStringLiteral("/packet"), payload(*m_draft, std::nullopt));
        if (!answer.is_object() && !answer.is_array())
            throw Failure(QStringLiteral("The bridge\u2019s answer isn\u2019t a JSON object"));
        // Object members come out sorted by key, and "/" is never escaped.
        const std::string dumped = answer.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        text = QString::fromUtf8(dumped.data(), qsizetype(dumped.size()));
    } catch (const Failure& failure) {
        text = QStringLiteral("Preview unavailable: ") + failure.description();
    }
    if (self && serial == m_previews)
        setPacket(text);
}
