#include "foundation/Geometry.h"
#include "platform/linux/AtspiElement.h"
#include "platform/linux/AtspiProtocol.h"

#include <algorithm>
#include <cmath>

// Finding an application's windows, where they lie, and the element under a point.
namespace platform::atspi {

namespace {

// Deeper than any real tree; stops a tree that points back at itself.
constexpr int deepestDescent = 64;
// How long a look for an application's scale that matched no window is not repeated.
constexpr qint64 scaleRetry = 1000; // milliseconds

} // namespace

std::optional<std::vector<std::shared_ptr<Element>>> Element::windows(unsigned ahead) {
    // Every child of the application is one of its windows, whatever its role: Qt 6.4 gives a
    // window of a plain widget the role "filler".
    const bool relative = m_application->toolkit().windowRelative;
    auto list = children(ahead | Role | (relative ? unsigned(Extents) : 0u));
    if (!list)
        return list;
    std::vector<QRect> contents;
    if (relative && m_application->windows.contents)
        contents = m_application->windows.contents(m_application->pid);
    for (const auto& window : *list) {
        window->m_window = true;
        if (!relative)
            continue;
        const auto* own = window->m_extents.peek();
        if (!own || !*own)
            continue;
        window->m_placement = placeWindow(QRect(QPoint(), (*own)->size()), contents, false, true);
        // Each X window is one of its windows: two of the same size are told apart by their order.
        if (const auto& placed = window->m_placement) {
            const auto taken = std::find_if(contents.begin(), contents.end(), [&](const QRect& content) {
                return content.topLeft() == placed->origin.toPoint();
            });
            if (taken != contents.end())
                contents.erase(taken);
        }
    }
    return list;
}

std::optional<Placement> Element::placement() {
    if (m_placement)
        return m_placement;
    if (m_application->toolkit().windowRelative)
        return std::nullopt; // not reached from one of its windows: nothing tells where it lies
    return Placement{QPointF(), screenScale().value_or(1)};
}

std::optional<double> Element::screenScale() {
    Services& services = *m_application->services;
    const QString& service = m_application->service;
    if (const auto known = services.scaleOf.constFind(service); known != services.scaleOf.constEnd())
        return *known;
    if (const auto missed = services.scaleMissed.constFind(service);
        missed != services.scaleMissed.constEnd() && missed->elapsed() < scaleRetry)
        return std::nullopt;
    std::vector<QRect> contents;
    if (m_application->windows.contents)
        contents = m_application->windows.contents(m_application->pid);
    if (!contents.empty()) {
        Element root(m_application, rootPath, applicationRole);
        const bool wholeScales = m_application->toolkit().wholeScales;
        for (const auto& window : root.children(Extents).value_or(std::vector<std::shared_ptr<Element>>{})) {
            const auto* own = window->m_extents.peek();
            if (!own || !*own)
                continue;
            if (const auto placed = placeWindow(**own, contents, true, wholeScales)) {
                services.scaleOf.insert(service, placed->scale);
                return placed->scale;
            }
        }
    }
    services.scaleMissed[service].start();
    return std::nullopt;
}

std::shared_ptr<Element> Element::at(int x, int y) {
    const auto windows = this->windows(Role | States | Extents);
    if (!windows || windows->empty())
        return nullptr;
    const QPointF point(x, y);
    std::vector<std::pair<std::shared_ptr<Element>, QRectF>> under;
    std::shared_ptr<Element> active;
    for (const auto& window : *windows) {
        const quint64 state = window->states().value_or(0);
        const auto extents = window->extents();
        if (!extents || !has(state, showingState) || has(state, iconifiedState) ||
            !Geometry::contains(*extents, point))
            continue;
        under.emplace_back(window, *extents);
        if (!active && has(state, activeState))
            active = window;
    }
    if (under.empty())
        return nullptr;
    std::shared_ptr<Element> current = active ? active : frontmost(under);
    const Toolkit toolkit = m_application->toolkit();
    if (toolkit.windowRelative) {
        current = descend(current, x, y);
        readAhead(*m_application, {current}, Role | Identifier | Extents | Name | Text);
        return current;
    }

    const QPointF own =
        toolkit.hitsInDevicePixels ? point : current->placement().value_or(Placement{}).toOwn(point);
    const QVariantList arguments{int(std::floor(own.x())), int(std::floor(own.y())),
                                 QVariant::fromValue(screenCoordinates)};
    const std::shared_ptr<Element> window = current;
    for (int depth = 0; depth < deepestDescent; ++depth) {
        std::vector<QDBusMessage> asked{m_application->message(
            current->m_path, componentInterface, QStringLiteral("GetAccessibleAtPoint"), arguments)};
        // Whether Chromium's element is a run of text, and whose, comes with the question whether
        // anything lies deeper: no round trip of its own.
        const bool learn = toolkit.chromium && current != window;
        if (learn) {
            asked.push_back(
                m_application->message(current->m_path, accessibleInterface, QStringLiteral("GetRole")));
            asked.push_back(
                m_application->property(current->m_path, accessibleInterface, QStringLiteral("Parent")));
        }
        auto answers = m_application->callAll(asked);
        const auto deeper = [&]() -> std::optional<ObjectRef> {
            const auto child = answers[0] ? object(*answers[0]) : std::nullopt;
            if (!child || child->path.isEmpty() || child->path == nullPath ||
                child->path == current->m_path || child->service != m_application->service)
                return std::nullopt;
            return child;
        };
        std::optional<ObjectRef> child = deeper();
        // Firefox answers the first question for the element at a point it is ever asked with
        // nothing, and every later one truly: that first one is asked again.
        if (toolkit.gecko && depth == 0) {
            const bool first = !m_application->services->hitTested.contains(m_application->service);
            m_application->services->hitTested.insert(m_application->service);
            if (first && !child) {
                answers = m_application->callAll(asked);
                child = deeper();
            }
        }
        if (learn) {
            current->m_role = number(answers[1]);
            current->m_parent.put(answers[2] ? object(*answers[2]) : std::nullopt);
        }
        if (!child)
            break;
        current = std::make_shared<Element>(m_application, child->path);
    }
    // What the hit test reads of the element it found.
    constexpr unsigned hit = Role | Identifier | Extents | Name | Text;
    if (!toolkit.chromium || current == window) {
        // Asked with every hit, Firefox has a page's attributes ready when a pick reads them.
        readAhead(*m_application, {current}, hit | (toolkit.gecko ? unsigned(Attributes) : 0u));
        return current;
    }
    // Scaled, it tells a page's elements (they carry a tag) from its own controls only by their
    // attributes.
    const bool scaled = screenScale().value_or(1) != 1;
    const unsigned web = scaled ? unsigned(Attributes) : 0u;
    std::shared_ptr<Element> found = current;
    // A run of text stands for the element it is part of.
    if (const auto* parent = current->m_parent.peek(); current->m_role == staticRole && parent && *parent &&
                                                       (*parent)->service == m_application->service &&
                                                       (*parent)->path != nullPath)
        found = std::make_shared<Element>(m_application, (*parent)->path);
    readAhead(*m_application, {found}, hit | web);
    const auto* attributes = found->m_attributes.peek();
    if (scaled && attributes && *attributes && (*attributes)->contains(QStringLiteral("tag")))
        found->m_placement = Placement{};
    return found;
}

std::shared_ptr<Element> Element::descend(std::shared_ptr<Element> from, int x, int y) {
    const QPointF point(x, y);
    std::shared_ptr<Element> current = std::move(from);
    for (int depth = 0; depth < deepestDescent; ++depth) {
        std::shared_ptr<Element> hit;
        for (const auto& child :
             current->children(Extents).value_or(std::vector<std::shared_ptr<Element>>{})) {
            const auto extents = child->extents();
            // Of overlapping children the last is drawn on top.
            if (extents && !extents->isEmpty() && Geometry::contains(*extents, point))
                hit = child;
        }
        if (!hit)
            break;
        current = std::move(hit);
    }
    return current;
}

std::shared_ptr<Element>
Element::frontmost(const std::vector<std::pair<std::shared_ptr<Element>, QRectF>>& under) {
    // Of several windows under the point, the one the window manager stacks in front; both sides in
    // device pixels.
    if (under.size() > 1 && m_application->windows.onScreen) {
        const auto list = m_application->windows.onScreen();
        for (const WindowEntry& entry : list.value_or(std::vector<WindowEntry>{})) {
            if (entry.ownerPid != m_application->pid)
                continue;
            for (const auto& [window, extents] : under) {
                if (extents == entry.bounds || extents == entry.clientBounds)
                    return window;
            }
        }
    }
    return under.front().first;
}

Published Element::published() {
    const auto answer = m_application->call(
        m_application->message(rootPath, accessibleInterface, QStringLiteral("GetChildren")));
    const auto windows = answer ? objects(*answer) : std::nullopt;
    if (!windows)
        return Published::Nothing;
    std::vector<QDBusMessage> asked;
    for (const ObjectRef& window : *windows) {
        if (window.service == m_application->service && window.path != nullPath)
            asked.push_back(
                m_application->message(window.path, accessibleInterface, QStringLiteral("GetChildren")));
    }
    // A bare application's windows have no children, or only null ones.
    for (const auto& answered : m_application->callAll(asked)) {
        for (const ObjectRef& child :
             answered ? objects(*answered).value_or(QList<ObjectRef>{}) : QList<ObjectRef>{}) {
            if (!child.path.isEmpty() && child.path != nullPath)
                return Published::Tree;
        }
    }
    return Published::Windows;
}

bool Element::askToPublish() {
    // Chromium (and so Electron) takes a request for an object's attributes as an assistive
    // technology at work and turns its own accessibility on, web pages included.
    return m_application
        ->call(m_application->message(rootPath, accessibleInterface, QStringLiteral("GetAttributes")))
        .has_value();
}

} // namespace platform::atspi
