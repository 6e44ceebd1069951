#include "platform/linux/AtspiElement.h"

#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/AtspiProtocol.h"

namespace platform::atspi {

namespace {

QList<AXElementRef> references(const std::vector<std::shared_ptr<Element>>& elements) {
    return QList<AXElementRef>(elements.begin(), elements.end());
}

std::optional<AXValue> nonEmpty(const std::optional<QString>& text) {
    if (!text || text->isEmpty())
        return std::nullopt;
    return *text;
}

// The object attributes browsers give the elements of a page, by the AX names of the DOM's.
const QHash<QString, QString>& domAttributes() {
    static const QHash<QString, QString> names{
        {QStringLiteral("AXDOMTag"), QStringLiteral("tag")},
        {QStringLiteral("AXDOMIdentifier"), QStringLiteral("id")},
        {QStringLiteral("AXDOMClassList"), QStringLiteral("class")},
    };
    return names;
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
    if (name == QLatin1String("AXIdentifier"))
        return nonEmpty(identifier());
    if (name == QLatin1String("AXTitle") || name == QLatin1String("AXDescription")) {
        if (auto text = accessibleName())
            return *text;
        return std::nullopt;
    }
    if (name == QLatin1String("AXHelp")) {
        readRecord();
        return nonEmpty(description());
    }
    if (name == QLatin1String("AXStates")) {
        readRecord();
        if (const auto states = this->states())
            return AtspiAccessibility::stateNames(*states);
        return std::nullopt;
    }
    if (const auto dom = domAttributes().constFind(name); dom != domAttributes().constEnd()) {
        readRecord();
        const auto attributes = objectAttributes();
        return nonEmpty(attributes ? attributes->value(*dom) : QString());
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
    if (!m_window && (!number || !isWindowRole(*number)))
        return false;
    const auto extents = this->extents();
    return extents && m_application->windows.activate(m_application->pid, QRectF(*extents));
}

void Element::readAhead(Application& application, const std::vector<std::shared_ptr<Element>>& elements,
                        unsigned what) {
    std::vector<Element*> raw;
    raw.reserve(elements.size());
    for (const auto& element : elements)
        raw.push_back(element.get());
    read(application, raw, what);
}

void Element::read(Application& application, const std::vector<Element*>& elements, unsigned what) {
    std::vector<QDBusMessage> calls;
    std::vector<std::pair<Element*, Read>> into;
    const auto ask = [&](Element* element, Read read, QDBusMessage message) {
        calls.push_back(std::move(message));
        into.emplace_back(element, read);
    };
    const uint coordinates =
        (what & Extents) && application.toolkit().windowRelative ? windowCoordinates : screenCoordinates;
    for (Element* element : elements) {
        const QString& path = element->m_path;
        if ((what & Role) && !element->m_role)
            ask(element, Role, application.message(path, accessibleInterface, QStringLiteral("GetRole")));
        if ((what & Identifier) && !element->m_identifier)
            ask(element, Identifier,
                application.property(path, accessibleInterface, QStringLiteral("AccessibleId")));
        if (what & States)
            ask(element, States, application.message(path, accessibleInterface, QStringLiteral("GetState")));
        if (what & Extents)
            ask(element, Extents,
                application.message(path, componentInterface, QStringLiteral("GetExtents"),
                                    {QVariant::fromValue(coordinates)}));
        if (what & Name)
            ask(element, Name, application.property(path, accessibleInterface, QStringLiteral("Name")));
        if (what & Text)
            ask(element, Text, application.message(path, textInterface, QStringLiteral("GetText"), {0, -1}));
        if (what & Description)
            ask(element, Description,
                application.property(path, accessibleInterface, QStringLiteral("Description")));
        if (what & Attributes)
            ask(element, Attributes,
                application.message(path, accessibleInterface, QStringLiteral("GetAttributes")));
        if (what & Parent)
            ask(element, Parent, application.property(path, accessibleInterface, QStringLiteral("Parent")));
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
        case Description:
            element.m_description.put(text(answer));
            break;
        case Attributes:
            element.m_attributes.put(attributeMap(answer));
            break;
        case Parent:
            element.m_parent.put(answer ? object(*answer) : std::nullopt);
            break;
        }
    }
}

void Element::readRecord() {
    unsigned what = 0;
    if (!m_description.holds())
        what |= Description;
    if (!m_states.holds())
        what |= States;
    if (!m_attributes.holds())
        what |= Attributes;
    if (what)
        read(*m_application, {this}, what);
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

std::optional<QString> Element::description() {
    if (auto ahead = m_description.take())
        return *ahead;
    return text(m_application->call(
        m_application->property(m_path, accessibleInterface, QStringLiteral("Description"))));
}

std::optional<QHash<QString, QString>> Element::objectAttributes() {
    // Kept for its lifetime: the three DOM attributes come from one answer.
    if (const auto* ahead = m_attributes.peek())
        return *ahead;
    auto attributes = attributeMap(m_application->call(
        m_application->message(m_path, accessibleInterface, QStringLiteral("GetAttributes"))));
    m_attributes.put(attributes);
    return attributes;
}

std::optional<QRect> Element::ownExtents() {
    if (auto ahead = m_extents.take())
        return *ahead;
    const uint coordinates = m_application->toolkit().windowRelative ? windowCoordinates : screenCoordinates;
    const auto answer = m_application->call(m_application->message(
        m_path, componentInterface, QStringLiteral("GetExtents"), {QVariant::fromValue(coordinates)}));
    return answer ? rect(*answer) : std::nullopt;
}

std::optional<QRectF> Element::extents() {
    const auto own = ownExtents();
    if (!own)
        return std::nullopt;
    const auto placement = this->placement();
    if (!placement)
        return std::nullopt;
    return placement->toDevice(*own);
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
        if (ref.service != m_application->service || ref.path == nullPath)
            continue;
        auto child = std::make_shared<Element>(m_application, ref.path);
        child->m_placement = m_placement;
        list.push_back(std::move(child));
    }
    readAhead(*m_application, list, ahead);
    // A page in Chromium gives positions in device pixels, and so does all it holds.
    if (m_application->toolkit().chromium) {
        for (const auto& child : list) {
            if (child->m_role == documentWebRole)
                child->m_placement = Placement{};
        }
    }
    return list;
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
