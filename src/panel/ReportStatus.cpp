#include "panel/ReportStatus.h"

#include <QTextBoundaryFinder>

namespace ReportStatus {

const QStringList working{QStringLiteral("sent"), QStringLiteral("queued"), QStringLiteral("fixing"),
                          QStringLiteral("checking"), QStringLiteral("rebuilding")};

const QStringList done{QStringLiteral("verified"), QStringLiteral("committed"), QStringLiteral("resolved"),
                       QStringLiteral("reverted")};

const QHash<QString, QString> titles{
    {QStringLiteral("sent"), QStringLiteral("Sending")},
    {QStringLiteral("queued"), QStringLiteral("Queued")},
    {QStringLiteral("fixing"), QStringLiteral("Agent working")},
    {QStringLiteral("checking"), QStringLiteral("Checking")},
    {QStringLiteral("rebuilding"), QStringLiteral("Relaunching")},
    {QStringLiteral("review"), QStringLiteral("Ready to review")},
    {QStringLiteral("verified"), QStringLiteral("Reviewed")},
    {QStringLiteral("committed"), QStringLiteral("Committed")},
    {QStringLiteral("resolved"), QStringLiteral("Resolved")},
    {QStringLiteral("reverted"), QStringLiteral("Reverted")},
    {QStringLiteral("interrupted"), QStringLiteral("Interrupted")},
    {QStringLiteral("stopped"), QStringLiteral("Stopped")},
    {QStringLiteral("failed"), QStringLiteral("Failed")},
};

const QHash<QString, int> stepIndex{
    {QStringLiteral("sent"), 0},     {QStringLiteral("queued"), 0},     {QStringLiteral("fixing"), 1},
    {QStringLiteral("checking"), 1}, {QStringLiteral("rebuilding"), 2},
};

const QStringList steps{QStringLiteral("Sent"), QStringLiteral("Agent"), QStringLiteral("Relaunch"),
                        QStringLiteral("Review")};

Group group(const QString& status) {
    if (working.contains(status))
        return Group::Working;
    if (status == review)
        return Group::Review;
    if (done.contains(status))
        return Group::Done;
    return Group::Other;
}

bool isWorking(const QString& status) {
    return working.contains(status);
}

bool isDone(const QString& status) {
    return done.contains(status);
}

bool isPending(const QString& status) {
    return isWorking(status) || status == review;
}

QString title(const QString& status) {
    const auto it = titles.constFind(status);
    return it != titles.cend() ? *it : capitalised(status);
}

int step(const QString& status) {
    return stepIndex.value(status, 3);
}

QString capitalised(const QString& text) {
    QString result;
    result.reserve(text.size());
    qsizetype at = 0;
    while (at < text.size()) {
        if (text.at(at).isSpace()) {
            result += text.at(at++);
            continue;
        }
        qsizetype end = at;
        while (end < text.size() && !text.at(end).isSpace())
            ++end;
        const QString word = text.mid(at, end - at);
        // The first user-perceived character, so a letter with its combining marks stays whole.
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
        const qsizetype first = finder.toNextBoundary();
        result += word.left(first).toUpper() + word.mid(first).toLower();
        at = end;
    }
    return result;
}

} // namespace ReportStatus

namespace ReviewActions {

const QList<ReviewAction> all{
    {commit, QStringLiteral("Commit fix"), QStringLiteral("Commit only the files the agent changed")},
    {verify, QStringLiteral("I\u2019ll commit"), QStringLiteral("Mark reviewed; commit it yourself")},
    {revert, QStringLiteral("Revert"),
     QStringLiteral("Put every file the agent changed back to how it was before the run")},
};

const ReviewAction* find(const QString& action) {
    for (const ReviewAction& entry : all) {
        if (entry.action == action)
            return &entry;
    }
    return nullptr;
}

} // namespace ReviewActions

namespace AgentSettings {

const QList<AgentSetting> all{
    {autoDispatch, QStringLiteral("Auto mode"),
     QStringLiteral("Send new reports to your agent without dispatching them by hand")},
    {autoRelaunch, QStringLiteral("Auto-relaunch"),
     QStringLiteral("Rebuild and relaunch the app after the agent's change")},
};

} // namespace AgentSettings

namespace ReportCategories {

const QStringList all{QStringLiteral("spacing"), QStringLiteral("color"),  QStringLiteral("text"),
                      QStringLiteral("size"),    QStringLiteral("layout"), QStringLiteral("other")};

} // namespace ReportCategories
