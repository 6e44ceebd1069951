#pragma once

#include "panel/Annotation.h"
#include "panel/BridgeApi.h"
#include "panel/Payload.h"
#include "simulator/PickResult.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>
#include <vector>

class PanelTracking;
namespace platform {
class SimulatorTool;
}

// Composes a report: captures the picked elements (pins) into a draft, draws its pictures in the
// background, holds the user's request, category and packet preview, and sends the report, which
// the tracking then follows.
class PanelComposing : public QObject {
    Q_OBJECT
public:
    // The bridge client, the tool and the tracking outlive the part.
    PanelComposing(const BridgeApi::Client& bridge, platform::SimulatorTool& tool, PanelTracking& tracking,
                   QObject* parent = nullptr);

    bool capturing() const { return m_capturing; }
    const std::optional<Draft>& draft() const { return m_draft; }
    // The draft's pictures; null while they are being drawn, or without a draft.
    std::shared_ptr<const Annotation::Rendered> pictures() const { return m_pictures; }
    QString comment() const { return m_comment; }
    std::optional<QString> category() const { return m_category; }
    bool showContext() const { return m_showContext; }
    QString packet() const { return m_packet; }
    bool sending() const { return m_sending; }
    // A draft, no submission in flight, and a request that is more than white space.
    bool canSend() const;
    // "true|<comment>|<category>": what the preview depends on.
    QString refreshKey() const;

    void setComment(const QString& comment);
    void setCategory(const std::optional<QString>& category);
    void setShowContext(bool show);
    void setCapturing(bool capturing);
    void setDraft(std::optional<Draft> draft);
    void setPacket(const QString& packet);
    void setSending(bool sending);

    // Drops any draft, then captures the pins' device in the background. No pins: nothing happens.
    void select(const std::vector<PickResult>& pins);
    // Drops one pin of the draft (counted from 0); the last one goes with the draft.
    void removePin(std::size_t index);
    // Sends the draft with the trimmed request; does nothing unless canSend().
    void send();
    // The draft, request, category, preview and error go.
    void discard();
    // Fetches the preview into `packet`, when it is open and there is a draft.
    QCoro::Task<> refreshPacket();
    // The draft with the current request and category as a prompt for an agent; empty without a
    // draft.
    QString prompt() const;
    // The report body of a draft with the current request and category.
    ReportBody payload(const Draft& draft, const std::optional<ReportPictures>& pictures) const;

signals:
    void capturingChanged(bool capturing);
    void draftChanged();
    void picturesChanged();
    void commentChanged(const QString& comment);
    void categoryChanged(const std::optional<QString>& category);
    void showContextChanged(bool show);
    void packetChanged(const QString& packet);
    void sendingChanged(bool sending);
    void canSendChanged(bool canSend);
    void refreshKeyChanged(const QString& key);
    // What the panel's error line says now: a failed capture or submission, or nothing as a
    // selection or submission starts.
    void errorReported(const std::optional<QString>& error);

private:
    QCoro::Task<> capture(std::vector<PickResult> pins, quint64 serial);
    QCoro::Task<> submit(ReportBody body, Draft draft, quint64 serial, QString request);
    // The pictures of the draft with this serial, drawn if need be: the ones at hand, the drawing
    // under way, or a drawing of its own for a draft that is no longer the current one.
    QCoro::Task<std::shared_ptr<const Annotation::Rendered>> picturesOf(Draft draft, quint64 serial);
    // Emits canSendChanged and refreshKeyChanged when the derived values moved.
    void updateDerived();

    const BridgeApi::Client& m_bridge;
    platform::SimulatorTool& m_tool;
    PanelTracking& m_tracking;
    bool m_capturing = false;
    std::optional<Draft> m_draft;
    QString m_comment;
    std::optional<QString> m_category;
    bool m_showContext = false;
    QString m_packet;
    bool m_sending = false;
    // Counts the captures, the drafts and the preview refreshes (a new draft counts as one), so
    // that only the latest applies.
    quint64 m_captures = 0;
    quint64 m_drafts = 0;
    quint64 m_previews = 0;
    std::shared_ptr<const Annotation::Rendered> m_pictures;
    QFuture<Annotation::Rendered> m_drawing;
    QFutureWatcher<Annotation::Rendered> m_drawn;
    bool m_canSend = false;
    QString m_refreshKey;
};
