#include "platform/linux/AtspiElement.h"

#include "foundation/Geometry.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/AtspiProtocol.h"

namespace platform::atspi {

namespace {

// Deeper than any real tree; stops a tree that points back at itself.
constexpr int deepestDescent = 64;

QList<AXElementRef> references(const std::vector<std::shared_ptr<Element>>& elements) {
    return QList<AXElementRef>(elements.begin(), elements.end());
}

} // namespace

Element::Element(std::shared_ptr<Application> application, QString path, std::optional<uint> role)
    : m_application(std::move(application)), m_path(std::move(path)), m_role(role) {}

bool Element::isApplication() const {
    return m_path == rootPath;
}

std::optional<AXValue> Element::attribute(const QString& name) {
    if (name == QLatin1String("AXRole")) {
        if (const auto number = role())
            return AtspiAccessibility::axRole(*number);
        return std::nullopt;
    }
    if (name == QLatin1String("AXSubrole"))
        return subrole();
    if (name == QLatin1String("AXIdentifier")) {
        const auto id = identifier();
        if (!id || id->isEmpty())
            return std::nullopt;
        return *id;
    }
    if (name == QLatin1String("AXTitle") || name == QLatin1String("AXDescription")) {
        if (auto text = accessibleName())
            return *text;
        return std::nullopt;
    }
    if (name == QLatin1String("AXValue"))
        return value();
    if (name == QLatin1String("AXMinimized")) {
        if (const auto states = this->states())
            return has(*states, iconifiedState);
        return std::nullopt;
    }
    if (name == QLatin1String("AXPosition") || name == QLatin1String("AXSize")) {
        const auto rect = frame();
        if (!rect)
            return std::nullopt;
        if (name == QLatin1String("AXPosition"))
            return rect->topLeft();
        return rect->size();
    }
    if (name == QLatin1String("AXChildren")) {
        if (auto list = children(Role | Identifier | Extents))
            return references(*list);
        return std::nullopt;
    }
    if (name == QLatin1String("AXWindows") && isApplication()) {
        if (auto list = windows(Role | Identifier | States | Extents | Name))
            return references(*list);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QRectF> Element::frame() {
    if (const auto extents = this->extents())
        return m_application->pixels.toLogical(QRectF(*extents));
    return std::nullopt;
}

bool Element::setAttribute(const QString& name, const AXValue& value) {
    const bool* flag = std::get_if<bool>(&value);
    if (name == QLatin1String("AXFrontmost") && isApplication() && flag && *flag &&
        m_application->windows.activate)
        return m_application->windows.activate(m_application->pid, std::nullopt);
    return false;
}

bool Element::performAction(const QString& name) {
    if (name != QLatin1String("AXRaise") || !m_application->windows.activate)
        return false;
    const auto number = role();
    if (!number || !isWindowRole(*number))
        return false;
    const auto extents = this->extents();
    return extents && m_application->windows.activate(m_application->pid, QRectF(*extents));
}

void Element::readAhead(Application& application, const std::vector<std::shared_ptr<Element>>& elements,
                        unsigned what) {
    std::vector<QDBusMessage> calls;
    std::vector<std::pair<Element*, Read>> into;
    const auto ask = [&](Element* element, Read read, QDBusMessage message) {
        calls.push_back(std::move(message));
        into.emplace_back(element, read);
    };
    for (const auto& element : elements) {
        const QString& path = element->m_path;
        if ((what & Role) && !element->m_role)
            ask(element.get(), Role,
                application.message(path, accessibleInterface, QStringLiteral("GetRole")));
        if ((what & Identifier) && !element->m_identifier)
            ask(element.get(), Identifier,
                application.property(path, accessibleInterface, QStringLiteral("AccessibleId")));
        if (what & States)
            ask(element.get(), States,
                application.message(path, accessibleInterface, QStringLiteral("GetState")));
        if (what & Extents)
            ask(element.get(), Extents,
                application.message(path, componentInterface, QStringLiteral("GetExtents"),
                                    {QVariant::fromValue(screenCoordinates)}));
        if (what & Name)
            ask(element.get(), Name, application.property(path, accessibleInterface, QStringLiteral("Name")));
        if (what & Text)
            ask(element.get(), Text,
                application.message(path, textInterface, QStringLiteral("GetText"), {0, -1}));
    }
    const auto answers = application.callAll(calls);
    for (size_t i = 0; i < answers.size(); ++i) {
        Element& element = *into[i].first;
        const auto& answer = answers[i];
        switch (into[i].second) {
        case Role:
            element.m_role = number(answer);
            break;
        case Identifier:
            element.m_identifier = text(answer);
            break;
        case States:
            element.m_states.put(answer ? stateSet(*answer) : std::nullopt);
            break;
        case Extents:
            element.m_extents.put(answer ? rect(*answer) : std::nullopt);
            break;
        case Name:
            element.m_name.put(text(answer));
            break;
        case Text:
            element.m_text.put(text(answer));
            break;
        }
    }
}

std::shared_ptr<Element> Element::at(int x, int y) {
    const auto windows = this->windows(Role | States | Extents);
    if (!windows || windows->empty())
        return nullptr;
    std::vector<std::pair<std::shared_ptr<Element>, QRect>> under;
    std::shared_ptr<Element> active;
    for (const auto& window : *windows) {
        const quint64 state = window->states().value_or(0);
        const auto extents = window->extents();
        if (!extents || !has(state, showingState) || has(state, iconifiedState) ||
            !Geometry::contains(QRectF(*extents), QPointF(x, y)))
            continue;
        under.emplace_back(window, *extents);
        if (!active && has(state, activeState))
            active = window;
    }
    if (under.empty())
        return nullptr;
    std::shared_ptr<Element> current = active ? active : frontmost(under);

    for (int depth = 0; depth < deepestDescent; ++depth) {
        const auto answer = m_application->call(m_application->message(
            current->m_path, componentInterface, QStringLiteral("GetAccessibleAtPoint"),
            {x, y, QVariant::fromValue(screenCoordinates)}));
        const auto child = answer ? object(*answer) : std::nullopt;
        if (!child || child->path.isEmpty() || child->path == nullPath || child->path == current->m_path ||
            child->service != m_application->service)
            break;
        current = std::make_shared<Element>(m_application, child->path);
    }
    // What the hit test reads of the element it found.
    readAhead(*m_application, {current}, Role | Identifier | Extents | Name | Text);
    return current;
}

std::optional<uint> Element::role() {
    if (!m_role)
        m_role = number(m_application->call(
            m_application->message(m_path, accessibleInterface, QStringLiteral("GetRole"))));
    return m_role;
}

std::optional<QString> Element::identifier() {
    if (!m_identifier)
        m_identifier = text(m_application->call(
            m_application->property(m_path, accessibleInterface, QStringLiteral("AccessibleId"))));
    return m_identifier;
}

std::optional<QString> Element::accessibleName() {
    if (auto ahead = m_name.take())
        return *ahead;
    return text(
        m_application->call(m_application->property(m_path, accessibleInterface, QStringLiteral("Name"))));
}

std::optional<QRect> Element::extents() {
    if (auto ahead = m_extents.take())
        return *ahead;
    const auto answer = m_application->call(m_application->message(
        m_path, componentInterface, QStringLiteral("GetExtents"), {QVariant::fromValue(screenCoordinates)}));
    return answer ? rect(*answer) : std::nullopt;
}

std::optional<quint64> Element::states() {
    if (auto ahead = m_states.take())
        return *ahead;
    const auto answer =
        m_application->call(m_application->message(m_path, accessibleInterface, QStringLiteral("GetState")));
    return answer ? stateSet(*answer) : std::nullopt;
}

std::optional<std::vector<std::shared_ptr<Element>>> Element::children(unsigned ahead) {
    const auto answer = m_application->call(
        m_application->message(m_path, accessibleInterface, QStringLiteral("GetChildren")));
    const auto refs = answer ? objects(*answer) : std::nullopt;
    if (!refs)
        return std::nullopt;
    std::vector<std::shared_ptr<Element>> list;
    for (const ObjectRef& ref : *refs) {
        // A child served by another process (an embedded plug) is out of this element's reach.
        if (ref.service == m_application->service)
            list.push_back(std::make_shared<Element>(m_application, ref.path));
    }
    readAhead(*m_application, list, ahead);
    return list;
}

std::optional<std::vector<std::shared_ptr<Element>>> Element::windows(unsigned ahead) {
    auto list = children(ahead | Role);
    if (list)
        std::erase_if(*list,
                      [](const auto& child) { return !child->m_role || !isWindowRole(*child->m_role); });
    return list;
}

std::shared_ptr<Element>
Element::frontmost(const std::vector<std::pair<std::shared_ptr<Element>, QRect>>& under) {
    // Of several windows under the point, the one the window manager stacks in front; both sides in
    // device pixels.
    if (under.size() > 1 && m_application->windows.onScreen) {
        const auto list = m_application->windows.onScreen();
        for (const WindowEntry& entry : list.value_or(std::vector<WindowEntry>{})) {
            if (entry.ownerPid != m_application->pid)
                continue;
            for (const auto& [window, extents] : under) {
                if (QRectF(extents) == entry.bounds || QRectF(extents) == entry.clientBounds)
                    return window;
            }
        }
    }
    return under.front().first;
}

std::optional<AXValue> Element::subrole() {
    const auto number = role();
    if (!number)
        return std::nullopt;
    if (*number == frameRole || *number == windowRole)
        return QStringLiteral("AXStandardWindow");
    if (*number == dialogRole)
        return QStringLiteral("AXDialog");
    // How a Linux device simulator marks its device screen.
    if (identifier() == QLatin1String("iOSContentGroup"))
        return QStringLiteral("iOSContentGroup");
    return std::nullopt;
}

std::optional<AXValue> Element::value() {
    std::optional<QString> contents;
    if (auto ahead = m_text.take())
        contents = *ahead;
    else
        contents = text(m_application->call(
            m_application->message(m_path, textInterface, QStringLiteral("GetText"), {0, -1})));
    if (contents)
        return *contents;
    const auto number =
        m_application->call(m_application->property(m_path, valueInterface, QStringLiteral("CurrentValue")));
    if (number && number->metaType() == QMetaType::fromType<double>())
        return number->toDouble();
    return std::nullopt;
}

} // namespace platform::atspi
