#include "platform/linux/AtspiAccessibility.h"

#include "platform/linux/XcbDesktop.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace platform::x11 {

namespace {

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString componentInterface = QStringLiteral("org.a11y.atspi.Component");
const QString textInterface = QStringLiteral("org.a11y.atspi.Text");
const QString valueInterface = QStringLiteral("org.a11y.atspi.Value");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString nullPath = QStringLiteral("/org/a11y/atspi/null");
const QString registryService = QStringLiteral("org.a11y.atspi.Registry");

// The bus launcher on the session bus: it tells where the accessibility bus is and whether
// accessibility is on.
constexpr std::chrono::milliseconds statusTimeout{250};
// Deeper than any real tree; stops a tree that points back at itself.
constexpr int deepestDescent = 64;
constexpr uint screenCoordinates = 0;

// AT-SPI role and state numbers.
constexpr uint dialogRole = 16, frameRole = 23, windowRole = 69, applicationRole = 75;
constexpr uint activeState = 1, iconifiedState = 15, showingState = 25;

// The role names, indexed by role number.
// clang-format off
const char* const roleNames[] = {
    "invalid", "accelerator label", "alert", "animation", "arrow", "calendar", "canvas", "check box",
    "check menu item", "color chooser", "column header", "combo box", "date editor", "desktop icon",
    "desktop frame", "dial", "dialog", "directory pane", "drawing area", "file chooser", "filler",
    "focus traversable", "font chooser", "frame", "glass pane", "html container", "icon", "image",
    "internal frame", "label", "layered pane", "list", "list item", "menu", "menu bar", "menu item",
    "option pane", "page tab", "page tab list", "panel", "password text", "popup menu", "progress bar",
    "push button", "radio button", "radio menu item", "root pane", "row header", "scroll bar", "scroll pane",
    "separator", "slider", "spin button", "split pane", "status bar", "table", "table cell",
    "table column header", "table row header", "tearoff menu item", "terminal", "text", "toggle button",
    "tool bar", "tool tip", "tree", "tree table", "unknown", "viewport", "window", "extended", "header",
    "footer", "paragraph", "ruler", "application", "autocomplete", "editbar", "embedded", "entry", "chart",
    "caption", "document frame", "heading", "page", "section", "redundant object", "form", "link",
    "input method window", "table row", "tree item", "document spreadsheet", "document presentation",
    "document text", "document web", "document email", "comment", "list box", "grouping", "image map",
    "notification", "info bar", "level bar", "title bar", "block quote", "audio", "video", "definition",
    "article", "landmark", "log", "marquee", "math", "rating", "timer", "static", "math fraction",
    "math root", "subscript", "superscript", "description list", "description term", "description value",
    "footnote", "content deletion", "content insertion", "mark", "suggestion", "push button menu",
};
// clang-format on

struct ObjectRef {
    QString service;
    QString path;
};

bool isArgument(const QVariant& value, const char* signature) {
    return value.metaType() == QMetaType::fromType<QDBusArgument>() &&
           value.value<QDBusArgument>().currentSignature() == QLatin1String(signature);
}

// One (so) structure: a bus name and an object path.
ObjectRef readObject(const QDBusArgument& argument) {
    ObjectRef ref;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> ref.service >> path;
    argument.endStructure();
    ref.path = path.path();
    return ref;
}

// a(so)
std::optional<QList<ObjectRef>> objects(const QVariant& value) {
    if (!isArgument(value, "a(so)"))
        return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    QList<ObjectRef> list;
    argument.beginArray();
    while (!argument.atEnd())
        list.append(readObject(argument));
    argument.endArray();
    return list;
}

// (so)
std::optional<ObjectRef> object(const QVariant& value) {
    if (!isArgument(value, "(so)"))
        return std::nullopt;
    return readObject(value.value<QDBusArgument>());
}

// (iiii)
std::optional<QRect> rect(const QVariant& value) {
    if (!isArgument(value, "(iiii)"))
        return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    int x = 0, y = 0, width = 0, height = 0;
    argument.beginStructure();
    argument >> x >> y >> width >> height;
    argument.endStructure();
    return QRect(x, y, width, height);
}

// au: a bit set of states in 32-bit words.
std::optional<quint64> stateSet(const QVariant& value) {
    QList<uint> words;
    if (isArgument(value, "au"))
        words = qdbus_cast<QList<uint>>(value.value<QDBusArgument>());
    else if (value.metaType() == QMetaType::fromType<QList<uint>>())
        words = value.value<QList<uint>>();
    else
        return std::nullopt;
    quint64 states = 0;
    for (qsizetype i = 0; i < std::min<qsizetype>(words.size(), 2); ++i)
        states |= quint64(words[i]) << (32 * i);
    return states;
}

bool has(quint64 states, uint state) {
    return states & (quint64(1) << state);
}

bool isWindowRole(uint role) {
    return role == frameRole || role == windowRole || role == dialogRole;
}

bool contains(const QRect& rect, int x, int y) {
    return rect.x() <= x && x < rect.x() + rect.width() && rect.y() <= y && y < rect.y() + rect.height();
}

// One application element and everything reached from it: where to ask, and for how long.
// Which process serves its accessibility tree under which bus name. Unique bus names are never
// reused, so an entry stays true until its name goes away; a call that finds it gone drops it.
struct Services {
    QHash<QString, qint32> pidOf;
    std::unordered_map<qint32, QString> serviceOf;

    void forget(const QString& service) {
        pidOf.remove(service);
        std::erase_if(serviceOf, [&](const auto& entry) { return entry.second == service; });
    }
};

// A value read ahead together with others, for the one read that comes right after.
template <class T> class Ahead {
public:
    // Longer than the reads of one look at the Simulator take, far shorter than a person notices.
    static constexpr qint64 lifetime = 100; // milliseconds

    void put(std::optional<T> value) {
        m_value = std::move(value);
        m_held = true;
        m_taken.start();
    }
    // The value read ahead, once; none when there is none or it has grown old.
    std::optional<std::optional<T>> take() {
        if (!m_held || m_taken.elapsed() > lifetime) {
            m_held = false;
            return std::nullopt;
        }
        m_held = false;
        return std::move(m_value);
    }

private:
    std::optional<T> m_value;
    bool m_held = false;
    QElapsedTimer m_taken;
};

// One application element and everything reached from it: where to ask, and for how long.
struct Application {
    QDBusConnection bus;
    QString service;
    qint32 pid;
    int timeout; // milliseconds
    std::shared_ptr<XcbDesktop> desktop;
    std::shared_ptr<Services> services;
    // Set once a call went unanswered: the rest of this element's calls give up at once rather
    // than each waiting out the time-out again.
    bool unresponsive = false;

    QDBusMessage message(const QString& path, const QString& interface, const QString& method,
                         const QVariantList& arguments = {}) const {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return message;
    }
    QDBusMessage property(const QString& path, const QString& interface, const QString& name) const {
        return message(path, propertiesInterface, QStringLiteral("Get"), {interface, name});
    }

    std::optional<QVariant> take(const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage) {
            if (reply.arguments().isEmpty())
                return std::nullopt;
            const QVariant first = reply.arguments().constFirst();
            // Properties come wrapped in a variant.
            if (first.metaType() == QMetaType::fromType<QDBusVariant>())
                return first.value<QDBusVariant>().variant();
            return first;
        }
        static const QStringList gone{QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
                                      QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
                                      QStringLiteral("org.freedesktop.DBus.Error.Disconnected")};
        static const QStringList silent{QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
                                        QStringLiteral("org.freedesktop.DBus.Error.Timeout"),
                                        QStringLiteral("org.freedesktop.DBus.Error.TimedOut")};
        if (gone.contains(reply.errorName())) {
            unresponsive = true;
            services->forget(service);
        } else if (silent.contains(reply.errorName())) {
            unresponsive = true;
        }
        return std::nullopt;
    }

    std::optional<QVariant> call(const QDBusMessage& message) {
        if (unresponsive)
            return std::nullopt;
        return take(bus.call(message, QDBus::Block, timeout));
    }

    // Sent together and answered in order, so that n calls cost one wait.
    std::vector<std::optional<QVariant>> callAll(const std::vector<QDBusMessage>& messages) {
        std::vector<std::optional<QVariant>> answers(messages.size());
        if (unresponsive || messages.empty())
            return answers;
        if (messages.size() == 1) {
            answers[0] = call(messages[0]);
            return answers;
        }
        std::vector<QDBusPendingCall> pending;
        pending.reserve(messages.size());
        for (const QDBusMessage& message : messages)
            pending.push_back(bus.asyncCall(message, timeout));
        for (size_t i = 0; i < pending.size(); ++i) {
            pending[i].waitForFinished();
            answers[i] = take(pending[i].reply());
        }
        return answers;
    }
};

std::optional<uint> number(const std::optional<QVariant>& value) {
    if (!value || value->metaType() != QMetaType::fromType<uint>())
        return std::nullopt;
    return value->toUInt();
}

std::optional<QString> text(const std::optional<QVariant>& value) {
    if (!value || value->metaType() != QMetaType::fromType<QString>())
        return std::nullopt;
    return value->toString();
}

class Element final : public AXElement {
public:
    // What may be read ahead for a group of elements.
    enum Read : unsigned { Role = 1, Identifier = 2, States = 4, Extents = 8, Name = 16, Text = 32 };

    Element(std::shared_ptr<Application> application, QString path, std::optional<uint> role = std::nullopt)
        : m_application(std::move(application)), m_path(std::move(path)), m_role(role) {}

    bool isApplication() const { return m_path == rootPath; }

    std::optional<AXValue> attribute(const QString& name) override {
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
            if (auto name = accessibleName())
                return *name;
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
            const auto extents = this->extents();
            if (!extents)
                return std::nullopt;
            if (name == QLatin1String("AXPosition"))
                return QPointF(extents->topLeft());
            return QSizeF(extents->size());
        }
        if (name == QLatin1String("AXChildren")) {
            if (auto list = children(Role | Identifier | Extents))
                return QList<AXElementRef>(list->begin(), list->end());
            return std::nullopt;
        }
        if (name == QLatin1String("AXWindows") && isApplication()) {
            if (auto list = windows(Role | Identifier | States | Extents | Name))
                return QList<AXElementRef>(list->begin(), list->end());
            return std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<QRectF> frame() override {
        if (const auto extents = this->extents())
            return QRectF(*extents);
        return std::nullopt;
    }

    bool setAttribute(const QString& name, const AXValue& value) override {
        const bool* flag = std::get_if<bool>(&value);
        if (name == QLatin1String("AXFrontmost") && isApplication() && flag && *flag &&
            m_application->desktop)
            return m_application->desktop->activate(m_application->pid, std::nullopt);
        return false;
    }

    bool performAction(const QString& name) override {
        if (name != QLatin1String("AXRaise") || !m_application->desktop)
            return false;
        const auto number = role();
        if (!number || !isWindowRole(*number))
            return false;
        const auto extents = this->extents();
        return extents && m_application->desktop->activate(m_application->pid, QRectF(*extents));
    }

    // Reads ahead, in one go, what each element will be asked next. Role and identifier stay with
    // the element (they do not change); the rest serves one read.
    static void readAhead(Application& application, const std::vector<std::shared_ptr<Element>>& elements,
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
                ask(element.get(), Name,
                    application.property(path, accessibleInterface, QStringLiteral("Name")));
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

    // The deepest element at a point, descending from the window under it.
    std::shared_ptr<Element> at(int x, int y) {
        const auto windows = this->windows(Role | States | Extents);
        if (!windows || windows->empty())
            return nullptr;
        std::vector<std::pair<std::shared_ptr<Element>, QRect>> under;
        std::shared_ptr<Element> active;
        for (const auto& window : *windows) {
            const quint64 state = window->states().value_or(0);
            const auto extents = window->extents();
            if (!extents || !has(state, showingState) || has(state, iconifiedState) ||
                !contains(*extents, x, y))
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
            if (!child || child->path.isEmpty() || child->path == nullPath ||
                child->path == current->m_path || child->service != m_application->service)
                break;
            current = std::make_shared<Element>(m_application, child->path);
        }
        // What the hit test reads of the element it found.
        readAhead(*m_application, {current}, Role | Identifier | Extents | Name | Text);
        return current;
    }

private:
    std::optional<uint> role() {
        if (!m_role)
            m_role = number(m_application->call(
                m_application->message(m_path, accessibleInterface, QStringLiteral("GetRole"))));
        return m_role;
    }

    std::optional<QString> identifier() {
        if (!m_identifier)
            m_identifier = text(m_application->call(
                m_application->property(m_path, accessibleInterface, QStringLiteral("AccessibleId"))));
        return m_identifier;
    }

    std::optional<QString> accessibleName() {
        if (auto ahead = m_name.take())
            return *ahead;
        return text(m_application->call(
            m_application->property(m_path, accessibleInterface, QStringLiteral("Name"))));
    }

    std::optional<QRect> extents() {
        if (auto ahead = m_extents.take())
            return *ahead;
        const auto answer = m_application->call(
            m_application->message(m_path, componentInterface, QStringLiteral("GetExtents"),
                                   {QVariant::fromValue(screenCoordinates)}));
        return answer ? rect(*answer) : std::nullopt;
    }

    std::optional<quint64> states() {
        if (auto ahead = m_states.take())
            return *ahead;
        const auto answer = m_application->call(
            m_application->message(m_path, accessibleInterface, QStringLiteral("GetState")));
        return answer ? stateSet(*answer) : std::nullopt;
    }

    std::optional<std::vector<std::shared_ptr<Element>>> children(unsigned ahead) {
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

    std::optional<std::vector<std::shared_ptr<Element>>> windows(unsigned ahead) {
        auto list = children(ahead | Role);
        if (list)
            std::erase_if(*list,
                          [](const auto& child) { return !child->m_role || !isWindowRole(*child->m_role); });
        return list;
    }

    // Of several windows under the point, the one the window manager stacks in front.
    std::shared_ptr<Element> frontmost(const std::vector<std::pair<std::shared_ptr<Element>, QRect>>& under) {
        if (under.size() > 1 && m_application->desktop) {
            const auto list = m_application->desktop->onScreenWindows();
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

    std::optional<AXValue> subrole() {
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

    std::optional<AXValue> value() {
        std::optional<QString> contents;
        if (auto ahead = m_text.take())
            contents = *ahead;
        else
            contents = text(m_application->call(
                m_application->message(m_path, textInterface, QStringLiteral("GetText"), {0, -1})));
        if (contents)
            return *contents;
        const auto number = m_application->call(
            m_application->property(m_path, valueInterface, QStringLiteral("CurrentValue")));
        if (number && number->metaType() == QMetaType::fromType<double>())
            return number->toDouble();
        return std::nullopt;
    }

    std::shared_ptr<Application> m_application;
    QString m_path;
    std::optional<uint> m_role;
    std::optional<QString> m_identifier;
    Ahead<quint64> m_states;
    Ahead<QRect> m_extents;
    Ahead<QString> m_name;
    Ahead<QString> m_text;
};

} // namespace

struct AtspiAccessibility::Impl {
    // A granted access is asked again after this long; a refused one on every call.
    static constexpr qint64 trustLifetime = 1000; // milliseconds

    std::shared_ptr<XcbDesktop> desktop;
    std::shared_ptr<Services> services = std::make_shared<Services>();
    QString connectionName;
    int generation = 0;
    QString problem;
    QElapsedTimer trusted; // valid while access was last found granted

    static QDBusMessage busLauncher(const QString& interface, const QString& method,
                                    const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), interface, method);
        message.setArguments(arguments);
        return message;
    }

    std::optional<bool> enabled() {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!session.isConnected()) {
            problem = QStringLiteral("There is no session D-Bus, so the accessibility bus cannot be found.");
            return std::nullopt;
        }
        const QDBusMessage reply =
            session.call(busLauncher(propertiesInterface, QStringLiteral("Get"),
                                     {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled")}),
                         QDBus::Block, int(statusTimeout.count()));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            problem =
                QStringLiteral("The accessibility bus launcher (org.a11y.Bus, from at-spi2-core) does not "
                               "answer on the session bus.");
            return std::nullopt;
        }
        const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
        return value.metaType() == QMetaType::fromType<bool>() && value.toBool();
    }

    // The accessibility bus, connected on first use and again after it went away.
    std::optional<QDBusConnection> bus() {
        if (!connectionName.isEmpty()) {
            QDBusConnection existing(connectionName);
            if (existing.isConnected())
                return existing;
            QDBusConnection::disconnectFromBus(connectionName);
            connectionName.clear();
        }
        QString address = qEnvironmentVariable("AT_SPI_BUS_ADDRESS");
        if (address.isEmpty()) {
            const QDBusMessage reply = QDBusConnection::sessionBus().call(
                busLauncher(QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"), {}), QDBus::Block,
                int(statusTimeout.count()));
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                address = reply.arguments().constFirst().toString();
        }
        if (address.isEmpty()) {
            problem = QStringLiteral("The accessibility bus cannot be found.");
            return std::nullopt;
        }
        const QString name = QStringLiteral("tallyrig-atspi-%1").arg(++generation);
        QDBusConnection connection = QDBusConnection::connectToBus(address, name);
        if (!connection.isConnected()) {
            problem = QStringLiteral("Cannot connect to the accessibility bus at %1.").arg(address);
            QDBusConnection::disconnectFromBus(name);
            return std::nullopt;
        }
        connectionName = name;
        *services = Services{};
        return connection;
    }

    static QDBusMessage processOf(const QString& service) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        message.setArguments({service});
        return message;
    }

    static std::optional<qint32> pidIn(const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
            reply.arguments().constFirst().metaType() != QMetaType::fromType<uint>())
            return std::nullopt;
        return qint32(reply.arguments().constFirst().toUInt());
    }

    // The bus name under which the process serves its accessibility tree: the registry's list of
    // applications, each name's process asked of the bus once.
    std::optional<QString> serviceOf(QDBusConnection& bus, qint32 pid, int timeout) {
        if (const auto cached = services->serviceOf.find(pid); cached != services->serviceOf.end())
            return cached->second;
        const QDBusMessage request = QDBusMessage::createMethodCall(
            registryService, rootPath, accessibleInterface, QStringLiteral("GetChildren"));
        const QDBusMessage reply = bus.call(request, QDBus::Block, timeout);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return std::nullopt;
        const auto applications = objects(reply.arguments().constFirst());
        if (!applications)
            return std::nullopt;

        QHash<QString, qint32> known;
        std::vector<std::pair<QString, QDBusPendingCall>> asked;
        for (const ObjectRef& application : *applications) {
            if (const auto found = services->pidOf.constFind(application.service);
                found != services->pidOf.constEnd())
                known.insert(application.service, *found);
            else if (!known.contains(application.service))
                asked.emplace_back(application.service,
                                   bus.asyncCall(processOf(application.service), timeout));
        }
        for (auto& [service, call] : asked) {
            call.waitForFinished();
            if (const auto answer = pidIn(call.reply()))
                known.insert(service, *answer);
        }
        services->pidOf = known;
        for (const ObjectRef& application : *applications) {
            const auto found = known.constFind(application.service);
            if (found != known.constEnd() && *found == pid) {
                services->serviceOf[pid] = application.service;
                return application.service;
            }
        }
        return std::nullopt;
    }
};

AtspiAccessibility::AtspiAccessibility(std::shared_ptr<XcbDesktop> desktop) : d(std::make_unique<Impl>()) {
    d->desktop = std::move(desktop);
}

AtspiAccessibility::~AtspiAccessibility() {
    if (!d->connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(d->connectionName);
}

bool AtspiAccessibility::isTrusted() {
    if (d->trusted.isValid() && d->trusted.elapsed() < Impl::trustLifetime && d->bus())
        return true;
    d->trusted.invalidate();
    const auto enabled = d->enabled();
    if (!enabled)
        return false;
    if (!*enabled) {
        d->problem = QStringLiteral(
            "Accessibility is turned off on this desktop (org.a11y.Status IsEnabled is false).");
        return false;
    }
    if (!d->bus())
        return false;
    d->problem.clear();
    d->trusted.start();
    return true;
}

bool AtspiAccessibility::requestTrust() {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        session.call(Impl::busLauncher(propertiesInterface, QStringLiteral("Set"),
                                       {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                                        QVariant::fromValue(QDBusVariant(true))}),
                     QDBus::Block, int(statusTimeout.count()));
    }
    d->trusted.invalidate();
    return isTrusted();
}

bool AtspiAccessibility::openSettings() {
    // The accessibility page of the settings of the desktops that have one.
    struct Settings {
        const char* desktop;
        const char* program;
        QStringList arguments;
    };
    const Settings known[] = {
        {"GNOME", "gnome-control-center", {QStringLiteral("universal-access")}},
        {"Unity", "gnome-control-center", {QStringLiteral("universal-access")}},
        {"Budgie", "gnome-control-center", {QStringLiteral("universal-access")}},
        {"KDE", "systemsettings", {QStringLiteral("kcm_access")}},
        {"KDE", "systemsettings5", {QStringLiteral("kcm_access")}},
        {"XFCE", "xfce4-accessibility-settings", {}},
        {"MATE", "mate-at-properties", {}},
        {"X-Cinnamon", "cinnamon-settings", {QStringLiteral("accessibility")}},
    };
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& desktop : desktops) {
        for (const Settings& settings : known) {
            if (desktop.compare(QLatin1String(settings.desktop), Qt::CaseInsensitive) != 0)
                continue;
            const QString program = QStandardPaths::findExecutable(QString::fromLatin1(settings.program));
            if (!program.isEmpty() && QProcess::startDetached(program, settings.arguments))
                return true;
        }
    }
    return false;
}

AXElementRef AtspiAccessibility::application(qint32 pid, std::chrono::milliseconds timeout) {
    auto bus = d->bus();
    if (!bus)
        return nullptr;
    const int milliseconds = int(std::max<qint64>(1, timeout.count()));
    const auto service = d->serviceOf(*bus, pid, milliseconds);
    if (!service)
        return nullptr;
    auto application = std::make_shared<Application>(
        Application{*bus, *service, pid, milliseconds, d->desktop, d->services});
    return std::make_shared<Element>(std::move(application), rootPath, applicationRole);
}

AXElementRef AtspiAccessibility::elementAt(const AXElementRef& application, float x, float y) {
    auto* element = dynamic_cast<Element*>(application.get());
    if (!element || !element->isApplication() || !std::isfinite(x) || !std::isfinite(y))
        return nullptr;
    return element->at(int(std::floor(x)), int(std::floor(y)));
}

QString AtspiAccessibility::problem() {
    isTrusted();
    return d->problem;
}

QString AtspiAccessibility::axRole(uint role) {
    const QString name =
        role < std::size(roleNames) ? QString::fromLatin1(roleNames[role]) : QStringLiteral("unknown");
    static const QHash<QString, QString> named{
        {QStringLiteral("push button"), QStringLiteral("AXButton")},
        {QStringLiteral("label"), QStringLiteral("AXStaticText")},
        {QStringLiteral("image"), QStringLiteral("AXImage")},
        {QStringLiteral("icon"), QStringLiteral("AXImage")},
        {QStringLiteral("entry"), QStringLiteral("AXTextField")},
        {QStringLiteral("text"), QStringLiteral("AXTextField")},
        {QStringLiteral("password text"), QStringLiteral("AXTextField")},
        {QStringLiteral("check box"), QStringLiteral("AXCheckBox")},
        {QStringLiteral("toggle button"), QStringLiteral("AXCheckBox")},
        {QStringLiteral("radio button"), QStringLiteral("AXRadioButton")},
        {QStringLiteral("slider"), QStringLiteral("AXSlider")},
        {QStringLiteral("link"), QStringLiteral("AXLink")},
        {QStringLiteral("heading"), QStringLiteral("AXHeading")},
        {QStringLiteral("frame"), QStringLiteral("AXWindow")},
        {QStringLiteral("window"), QStringLiteral("AXWindow")},
        {QStringLiteral("panel"), QStringLiteral("AXGroup")},
        {QStringLiteral("filler"), QStringLiteral("AXGroup")},
        {QStringLiteral("section"), QStringLiteral("AXGroup")},
        {QStringLiteral("grouping"), QStringLiteral("AXGroup")},
        {QStringLiteral("scroll pane"), QStringLiteral("AXGroup")},
        {QStringLiteral("layered pane"), QStringLiteral("AXGroup")},
    };
    if (const auto found = named.constFind(name); found != named.constEnd())
        return *found;
    QString camel = QStringLiteral("AX");
    for (const QString& word : name.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        camel += word.at(0).toUpper() + word.mid(1);
    return camel;
}

} // namespace platform::x11
