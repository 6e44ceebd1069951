#include "simulator/ElementPicker.h"

#include "foundation/Geometry.h"

#include <QElapsedTimer>

#include <algorithm>
#include <deque>

namespace ElementPicker {

namespace {

// Steps 6 to 9 of a hit: what a found element with this frame is called.
void describe(platform::AXElement& element, const QRectF& frame, PickResult& result) {
    std::optional<QString> identifier = AX::value<QString>(element, QStringLiteral("AXIdentifier"));
    if (identifier && identifier->isEmpty())
        identifier.reset();

    std::optional<QString> label;
    for (const char* attribute : {"AXDescription", "AXLabel", "AXTitle", "AXValue"}) {
        const auto text = AX::value<QString>(element, QString::fromLatin1(attribute));
        if (text && !text->isEmpty()) {
            label = text;
            break;
        }
    }

    QString role =
        AX::value<QString>(element, QStringLiteral("AXRole")).value_or(QStringLiteral("AXElement"));
    if (role.startsWith(QLatin1String("AX")))
        role.remove(0, 2);

    result.identifier = std::move(identifier);
    result.label = std::move(label);
    result.role = std::move(role);
    result.frame = frame;
    // A desktop window's tree says more; a Simulator's is asked nothing more than it always was.
    if (result.window.kind != SimulatorWindow::Kind::Window)
        return;
    const auto text = [&](const char* attribute) -> std::optional<QString> {
        std::optional<QString> read = AX::value<QString>(element, QString::fromLatin1(attribute));
        return read && !read->trimmed().isEmpty() ? read : std::nullopt;
    };
    result.details.description = text("AXHelp");
    result.details.states =
        AX::value<QStringList>(element, QStringLiteral("AXStates")).value_or(QStringList());
    result.details.tag = text("AXDOMTag");
    result.details.domId = text("AXDOMIdentifier");
    result.details.classes = text("AXDOMClassList");
}

constexpr int deepestElementLevel = 16;

} // namespace

PickResult element(platform::Accessibility& accessibility, const QPointF& at, const SimulatorWindow& in,
                   const QRectF& screen, std::chrono::milliseconds timeout) {
    PickResult result{std::nullopt, std::nullopt, QStringLiteral("Screen"), std::nullopt, at, screen, in, {}};
    // Checked first: asking the desktop for the application is a request too on some platforms.
    if (!Geometry::contains(screen, at))
        return result;
    const platform::AXElementRef application = accessibility.application(in.pid, timeout);
    if (!application)
        return result;
    const platform::AXElementRef element =
        accessibility.elementAt(application, static_cast<float>(at.x()), static_cast<float>(at.y()));
    if (!element)
        return result;
    // The device screen itself: nothing of the app lies there.
    if (in.kind == SimulatorWindow::Kind::Simulator &&
        AX::value<QString>(*element, QStringLiteral("AXSubrole")) == QLatin1String("iOSContentGroup"))
        return result;
    const std::optional<QRectF> frame = AX::frame(*element);
    if (!frame)
        return result;
    describe(*element, *frame, result);
    return result;
}

std::vector<PickResult> elements(const SimulatorWindow& in, const QRectF& screen, int limit,
                                 std::chrono::milliseconds budget) {
    std::vector<PickResult> found;
    if (!in.axWindow)
        return found;
    QElapsedTimer clock;
    clock.start();
    int visited = 0;
    std::deque<std::pair<platform::AXElementRef, int>> queue{{in.axWindow, 0}};
    while (!queue.empty() && visited < limit && clock.elapsed() < budget.count()) {
        const auto [element, depth] = queue.front();
        queue.pop_front();
        ++visited;
        const std::optional<QString> role = AX::value<QString>(*element, QStringLiteral("AXRole"));
        const bool container = depth == 0 || role == QLatin1String("AXGroup");
        std::optional<QList<platform::AXElementRef>> children;
        if (container && depth < deepestElementLevel)
            children = AX::value<QList<platform::AXElementRef>>(*element, QStringLiteral("AXChildren"));
        if (container && children && !children->isEmpty()) {
            for (const platform::AXElementRef& child : *children) {
                if (child)
                    queue.emplace_back(child, depth + 1);
            }
            continue;
        }
        if (depth == 0 ||
            AX::value<QString>(*element, QStringLiteral("AXSubrole")) == QLatin1String("iOSContentGroup"))
            continue;
        const std::optional<QRectF> frame = AX::frame(*element);
        if (!frame)
            continue;
        // Only what shows on the device screen: not the window's own controls around it.
        const QRectF visible = Geometry::intersection(*frame, screen);
        if (visible.isEmpty() || !Geometry::contains(screen, visible.center()))
            continue;
        PickResult pick{std::nullopt,     std::nullopt, QString(), std::nullopt,
                        visible.center(), screen,       in,        {}};
        describe(*element, *frame, pick);
        // An empty container stands for nothing unless it is named.
        if (container && !pick.identifier && !pick.label)
            continue;
        found.push_back(std::move(pick));
    }
    sortForReading(found);
    return found;
}

void sortForReading(std::vector<PickResult>& picks) {
    const auto top = [](const PickResult& p) { return p.frame ? p.frame->top() : p.point.y(); };
    const auto left = [](const PickResult& p) { return p.frame ? p.frame->left() : p.point.x(); };
    std::stable_sort(picks.begin(), picks.end(),
                     [&](const PickResult& a, const PickResult& b) { return top(a) < top(b); });
    for (auto row = picks.begin(); row != picks.end();) {
        const double middle = row->frame ? row->frame->center().y() : row->point.y();
        const auto end =
            std::find_if(row + 1, picks.end(), [&](const PickResult& p) { return top(p) >= middle; });
        std::stable_sort(row, end,
                         [&](const PickResult& a, const PickResult& b) { return left(a) < left(b); });
        row = end;
    }
}

} // namespace ElementPicker
