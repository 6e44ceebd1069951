#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What the panel knows about a report's progress, the review actions that end it and the agent
// settings beside it: data shared by the model and the panel's views.
namespace ReportStatus {

// A report the agent is still processing, in the order it passes through them.
extern const QStringList working;
// The agent has finished and waits for the user; in neither list.
inline const QString review = QStringLiteral("review");
// A finished report.
extern const QStringList done;

// The display title of each known status.
extern const QHash<QString, QString> titles;
// The step on the four-step track, for the working statuses only.
extern const QHash<QString, int> stepIndex;
// The names of the four steps, in order.
extern const QStringList steps;

enum class Group { Working, Review, Done, Other };
Group group(const QString& status);
bool isWorking(const QString& status);
bool isDone(const QString& status);
// Still worth following: working or in review.
bool isPending(const QString& status);

// `titles`' entry, else the status in capitalised form ("in progress" → "In Progress").
QString title(const QString& status);
// `stepIndex`' entry, else 3.
int step(const QString& status);
// The first letter of each white-space separated word upper-cased, the others lower-cased.
QString capitalised(const QString& text);

} // namespace ReportStatus

// What a finished report offers: the path segment sent to the bridge, the button's title and its
// help text.
struct ReviewAction {
    QString action;
    QString title;
    QString help;
};

namespace ReviewActions {
inline const QString commit = QStringLiteral("commit");
inline const QString verify = QStringLiteral("verify");
inline const QString revert = QStringLiteral("revert");
// In the order the panel shows them.
extern const QList<ReviewAction> all;
// The entry of an action; none for an unknown one.
const ReviewAction* find(const QString& action);
} // namespace ReviewActions

// One of the bridge's agent settings, as the panel's switches show it.
struct AgentSetting {
    QString key;
    QString title;
    QString help;
};

namespace AgentSettings {
inline const QString autoDispatch = QStringLiteral("autoDispatch");
inline const QString autoRelaunch = QStringLiteral("autoRelaunch");
// In the order the panel shows them.
extern const QList<AgentSetting> all;
} // namespace AgentSettings

// The report categories the composer offers, in order; the lowercase text is what is sent.
namespace ReportCategories {
extern const QStringList all;
}
