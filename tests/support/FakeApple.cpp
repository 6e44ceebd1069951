#include "support/FakeApple.h"

#include "apple/AppleInterfaces.h"

#include <QHash>
#include <QSet>
#include <QThread>

#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <variant>

namespace {

enum Type : CFTypeID { String = 1, Number, BooleanType, Array, Dictionary, Url, Element, Value, Date };

struct Object {
    CFTypeID type;
    QString origin; // what handed it out, for the messages
    int held = 0;   // references the code under test holds
    int contained = 0;
    bool constant = false;
    bool dead = false;

    QString text; // string, URL
    bool real = false;
    double number = 0;
    qint64 integer = 0;
    bool flag = false;
    std::vector<Object*> items;                       // array
    std::vector<std::pair<Object*, Object*>> entries; // dictionary
    AXValueType valueType = kAXValueTypeIllegal;
    CGRect box{};
    std::shared_ptr<FakeAXElement> node;
    qint32 pid = 0;
    bool application = false;
    // Its own messaging time-out, in seconds; 0 until one is set on this very element.
    float timeout = 0;
};

// What an element without a time-out of its own waits for an answer.
constexpr float defaultTimeout = 6;

struct World {
    std::recursive_mutex lock;
    FakeDesktop* desktop = nullptr;
    std::deque<std::unique_ptr<Object>> objects;
    QSet<const Object*> known;
    QStringList faults;
    QHash<QPair<int, QString>, QVariant> windowValues;
    QHash<QPair<const FakeAXElement*, QString>, QString> raw;
    int calls = 0;
    qsizetype firstUnanswered = -1;
    std::chrono::milliseconds waited{0};
    QThread* mainThread = nullptr;
    int prompts = 0;
    QStringList urls;
    std::pair<uint32_t, uint32_t> listRequest{~0u, ~0u};

    Object* make(CFTypeID type, const QString& origin) {
        objects.push_back(std::make_unique<Object>());
        Object* object = objects.back().get();
        object->type = type;
        object->origin = origin;
        known.insert(object);
        return object;
    }
    Object* constant(CFTypeID type, const QString& origin) {
        Object* object = make(type, origin);
        object->constant = true;
        return object;
    }
};

World& world() {
    static World* instance = new World;
    return *instance;
}

// The constants live as long as the process; what is done to them is counted like the rest.
Object* constantString(const char* text) {
    Object* object = world().constant(String, QString::fromLatin1(text));
    object->text = QString::fromLatin1(text);
    return object;
}
Object* const trueObject = [] {
    Object* object = world().constant(BooleanType, QStringLiteral("kCFBooleanTrue"));
    object->flag = true;
    return object;
}();
Object* const falseObject = world().constant(BooleanType, QStringLiteral("kCFBooleanFalse"));
Object* const ownerPidKey = constantString(copied::kCGWindowOwnerPID);
Object* const layerKey = constantString(copied::kCGWindowLayer);
Object* const numberKey = constantString(copied::kCGWindowNumber);
Object* const boundsKey = constantString(copied::kCGWindowBounds);
Object* const nameKey = constantString(copied::kCGWindowName);
Object* const promptKey = constantString(copied::kAXTrustedCheckOptionPrompt);

CFTypeRef ref(const Object* object) {
    return object;
}

// The object behind a reference the code passed in; a fault when it is not one, or is gone.
Object* use(CFTypeRef cf, const char* where, CFTypeID type = 0) {
    World& w = world();
    auto* object = const_cast<Object*>(static_cast<const Object*>(cf));
    if (!cf || !w.known.contains(object)) {
        w.faults.append(QStringLiteral("%1: not an object").arg(QLatin1String(where)));
        return nullptr;
    }
    if (object->dead)
        w.faults.append(
            QStringLiteral("%1: %2 used after its last release").arg(QLatin1String(where), object->origin));
    if (type && object->type != type)
        w.faults.append(
            QStringLiteral("%1: %2 is of another type").arg(QLatin1String(where), object->origin));
    return object;
}

// The accessibility interface is called on the main thread only.
void onMainThread(const char* where) {
    World& w = world();
    if (QThread::currentThread() != w.mainThread)
        w.faults.append(QStringLiteral("%1: called off the main thread").arg(QLatin1String(where)));
}

// A call to `element` that went unanswered: it waited for the element's own time-out.
AXError unanswered(const Object* element) {
    World& w = world();
    const float timeout = element->timeout > 0 ? element->timeout : defaultTimeout;
    w.waited += std::chrono::milliseconds(std::lround(timeout * 1000));
    return kAXErrorCannotComplete;
}

// A reference the caller now owns.
CFTypeRef handOut(Object* object) {
    ++object->held;
    return ref(object);
}

void drop(Object* object);

void die(Object* object) {
    object->dead = true;
    for (Object* item : object->items)
        drop(item);
    for (auto& [key, value] : object->entries) {
        drop(key);
        drop(value);
    }
}

void drop(Object* object) {
    if (--object->contained == 0 && object->held == 0 && !object->constant)
        die(object);
}

void contain(Object* container, Object* item) {
    ++item->contained;
    container->items.push_back(item);
}

void contain(Object* dictionary, Object* key, Object* value) {
    ++key->contained;
    ++value->contained;
    dictionary->entries.emplace_back(key, value);
}

Object* number(double value, const QString& origin) {
    Object* object = world().make(Number, origin);
    object->real = true;
    object->number = value;
    return object;
}

Object* integer(qint64 value, const QString& origin) {
    Object* object = world().make(Number, origin);
    object->integer = value;
    return object;
}

Object* string(const QString& text, const QString& origin) {
    Object* object = world().make(String, origin);
    object->text = text;
    return object;
}

Object* fromVariant(const QVariant& value, const QString& origin) {
    switch (value.typeId()) {
    case QMetaType::QString:
        return string(value.toString(), origin);
    case QMetaType::Bool:
        return value.toBool() ? trueObject : falseObject;
    case QMetaType::Double:
        return number(value.toDouble(), origin);
    case QMetaType::QVariantMap: {
        Object* dictionary = world().make(Dictionary, origin);
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            contain(dictionary, string(it.key(), origin), fromVariant(*it, origin));
        return dictionary;
    }
    default:
        return integer(value.toLongLong(), origin);
    }
}

Object* element(std::shared_ptr<FakeAXElement> node, qint32 pid, const QString& origin) {
    Object* object = world().make(Element, origin);
    object->node = std::move(node);
    object->pid = pid;
    return object;
}

Object* axValue(AXValueType type, const CGRect& box, const QString& origin) {
    Object* object = world().make(Value, origin);
    object->valueType = type;
    object->box = box;
    return object;
}

// A port value as the accessibility interface hands it out.
Object* fromPort(const platform::AXValue& value, qint32 pid, const QString& origin) {
    if (const bool* flag = std::get_if<bool>(&value))
        return *flag ? trueObject : falseObject;
    if (const double* real = std::get_if<double>(&value))
        return number(*real, origin);
    if (const QString* text = std::get_if<QString>(&value))
        return string(*text, origin);
    if (const QPointF* point = std::get_if<QPointF>(&value))
        return axValue(kAXValueTypeCGPoint, CGRect{{point->x(), point->y()}, {0, 0}}, origin);
    if (const QSizeF* size = std::get_if<QSizeF>(&value))
        return axValue(kAXValueTypeCGSize, CGRect{{0, 0}, {size->width(), size->height()}}, origin);
    if (const auto* one = std::get_if<platform::AXElementRef>(&value))
        return element(std::dynamic_pointer_cast<FakeAXElement>(*one), pid, origin);
    Object* array = world().make(Array, origin);
    for (const platform::AXElementRef& item : std::get<QList<platform::AXElementRef>>(value))
        contain(array, element(std::dynamic_pointer_cast<FakeAXElement>(item), pid, origin));
    return array;
}

std::optional<platform::AXValue> toPort(Object* object) {
    switch (object->type) {
    case BooleanType:
        return platform::AXValue(object->flag);
    case Number:
        return platform::AXValue(object->real ? object->number : double(object->integer));
    case String:
        return platform::AXValue(object->text);
    case Value:
        if (object->valueType == kAXValueTypeCGPoint)
            return platform::AXValue(QPointF(object->box.origin.x, object->box.origin.y));
        if (object->valueType == kAXValueTypeCGSize)
            return platform::AXValue(QSizeF(object->box.size.width, object->box.size.height));
        return std::nullopt;
    case Element:
        return platform::AXValue(platform::AXElementRef(object->node));
    default:
        return std::nullopt;
    }
}

Object* rawValue(const QString& kind, qint32 pid, const QString& origin) {
    if (kind == QLatin1String("rect"))
        return axValue(kAXValueTypeCGRect, CGRect{{1, 2}, {3, 4}}, origin);
    if (kind == QLatin1String("mixed")) {
        Object* array = world().make(Array, origin);
        contain(array, element(nullptr, pid, origin));
        contain(array, string(QStringLiteral("text"), origin));
        return array;
    }
    return world().make(Date, origin);
}

template <class T> bool fits(double value) {
    return std::trunc(value) == value && value >= double(std::numeric_limits<T>::min()) &&
           value <= double(std::numeric_limits<T>::max());
}

template <class T> bool store(Object* object, void* out) {
    const double value = object->real ? object->number : double(object->integer);
    if (!object->real && object->integer >= qint64(std::numeric_limits<T>::min()) &&
        object->integer <= qint64(std::numeric_limits<T>::max())) {
        *static_cast<T*>(out) = T(object->integer);
        return true;
    }
    *static_cast<T*>(out) = T(value);
    return object->real && fits<T>(value);
}

// The value under a key of a dictionary, keys compared as texts.
Object* lookup(Object* dictionary, const QString& key) {
    for (auto& [k, value] : dictionary->entries) {
        if (k->type == String && k->text == key)
            return value;
    }
    return nullptr;
}

} // namespace

// ---- what the tests see

namespace FakeApple {

void bind(FakeDesktop* desktop) {
    World& w = world();
    std::lock_guard guard(w.lock);
    w.desktop = desktop;
    std::erase_if(w.objects, [&](const std::unique_ptr<Object>& object) {
        if (object->constant) {
            object->held = 0;
            return false;
        }
        w.known.remove(object.get());
        return true;
    });
    w.faults.clear();
    w.windowValues.clear();
    w.raw.clear();
    w.calls = 0;
    w.firstUnanswered = -1;
    w.waited = std::chrono::milliseconds(0);
    w.mainThread = QThread::currentThread();
    w.prompts = 0;
    w.urls.clear();
    w.listRequest = {~0u, ~0u};
}

void setWindowValue(int entry, const QString& key, const QVariant& value) {
    std::lock_guard guard(world().lock);
    world().windowValues.insert({entry, key}, value);
}

void setRawAttribute(const FakeAXElement& element, const QString& attribute, const QString& kind) {
    std::lock_guard guard(world().lock);
    world().raw.insert({&element, attribute}, kind);
}

int accessibilityCalls() {
    std::lock_guard guard(world().lock);
    return world().calls;
}

std::pair<uint32_t, uint32_t> lastListRequest() {
    std::lock_guard guard(world().lock);
    return world().listRequest;
}

qsizetype firstUnanswered() {
    std::lock_guard guard(world().lock);
    return world().firstUnanswered;
}

std::chrono::milliseconds waited() {
    std::lock_guard guard(world().lock);
    return world().waited;
}

int prompts() {
    std::lock_guard guard(world().lock);
    return world().prompts;
}

QStringList openedUrls() {
    std::lock_guard guard(world().lock);
    return world().urls;
}

QStringList faults() {
    World& w = world();
    std::lock_guard guard(w.lock);
    QStringList found = w.faults;
    for (const auto& object : w.objects) {
        if (object->held > 0)
            found.append(QStringLiteral("%1 still held %2 time(s)").arg(object->origin).arg(object->held));
    }
    return found;
}

FakeAXElement* nodeOf(const void* element) {
    std::lock_guard guard(world().lock);
    auto* object = static_cast<const Object*>(element);
    return object && world().known.contains(object) ? object->node.get() : nullptr;
}

} // namespace FakeApple

// ---- the interfaces

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFBooleanRef kCFBooleanTrue = static_cast<CFBooleanRef>(ref(trueObject));
const CFBooleanRef kCFBooleanFalse = static_cast<CFBooleanRef>(ref(falseObject));
static const void* retainValue(CFAllocatorRef, const void* value) {
    return value;
}
static void releaseValue(CFAllocatorRef, const void*) {}
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0,       retainValue, releaseValue,
                                                             nullptr, nullptr,     nullptr};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0, retainValue, releaseValue, nullptr,
                                                                 nullptr};
const CFStringRef kCGWindowOwnerPID = static_cast<CFStringRef>(ref(ownerPidKey));
const CFStringRef kCGWindowLayer = static_cast<CFStringRef>(ref(layerKey));
const CFStringRef kCGWindowNumber = static_cast<CFStringRef>(ref(numberKey));
const CFStringRef kCGWindowBounds = static_cast<CFStringRef>(ref(boundsKey));
const CFStringRef kCGWindowName = static_cast<CFStringRef>(ref(nameKey));
CFStringRef kAXTrustedCheckOptionPrompt = static_cast<CFStringRef>(ref(promptKey));

CFTypeRef CFRetain(CFTypeRef cf) {
    std::lock_guard guard(world().lock);
    if (Object* object = use(cf, "CFRetain"))
        ++object->held;
    return cf;
}

void CFRelease(CFTypeRef cf) {
    World& w = world();
    std::lock_guard guard(w.lock);
    Object* object = use(cf, "CFRelease");
    if (!object || object->dead)
        return;
    if (object->held == 0) {
        w.faults.append(QStringLiteral("CFRelease: %1 released more often than held").arg(object->origin));
        return;
    }
    if (--object->held == 0 && object->contained == 0 && !object->constant)
        die(object);
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
    std::lock_guard guard(world().lock);
    const Object* object = use(cf, "CFGetTypeID");
    return object ? object->type : 0;
}

CFTypeID CFStringGetTypeID(void) {
    return String;
}
CFTypeID CFNumberGetTypeID(void) {
    return Number;
}
CFTypeID CFBooleanGetTypeID(void) {
    return BooleanType;
}
CFTypeID CFArrayGetTypeID(void) {
    return Array;
}
CFTypeID CFDictionaryGetTypeID(void) {
    return Dictionary;
}
CFTypeID AXUIElementGetTypeID(void) {
    return Element;
}
CFTypeID AXValueGetTypeID(void) {
    return Value;
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
    std::lock_guard guard(world().lock);
    const QString text(reinterpret_cast<const QChar*>(chars), qsizetype(numChars));
    return static_cast<CFStringRef>(handOut(string(text, QStringLiteral("the string \"%1\"").arg(text))));
}

CFIndex CFStringGetLength(CFStringRef theString) {
    std::lock_guard guard(world().lock);
    const Object* object = use(theString, "CFStringGetLength", String);
    return object ? CFIndex(object->text.size()) : 0;
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
    std::lock_guard guard(world().lock);
    const Object* object = use(theString, "CFStringGetCharacters", String);
    if (!object || range.location < 0 || range.location + range.length > object->text.size()) {
        world().faults.append(QStringLiteral("CFStringGetCharacters: range outside the string"));
        return;
    }
    std::copy_n(object->text.utf16() + range.location, range.length, buffer);
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
    std::lock_guard guard(world().lock);
    Object* object = nullptr;
    if (theType == kCFNumberDoubleType)
        object = number(*static_cast<const double*>(valuePtr), QStringLiteral("a created number"));
    else if (theType == kCFNumberSInt32Type)
        object = integer(*static_cast<const int32_t*>(valuePtr), QStringLiteral("a created number"));
    else
        object = integer(*static_cast<const int64_t*>(valuePtr), QStringLiteral("a created number"));
    return static_cast<CFNumberRef>(handOut(object));
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    std::lock_guard guard(world().lock);
    Object* object = use(number, "CFNumberGetValue", Number);
    if (!object)
        return false;
    if (theType == kCFNumberDoubleType) {
        *static_cast<double*>(valuePtr) = object->real ? object->number : double(object->integer);
        return true;
    }
    if (theType == kCFNumberSInt32Type)
        return store<int32_t>(object, valuePtr);
    return store<int64_t>(object, valuePtr);
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    std::lock_guard guard(world().lock);
    const Object* object = use(boolean, "CFBooleanGetValue", BooleanType);
    return object && object->flag;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
    std::lock_guard guard(world().lock);
    const Object* object = use(theArray, "CFArrayGetCount", Array);
    return object ? CFIndex(object->items.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
    std::lock_guard guard(world().lock);
    const Object* object = use(theArray, "CFArrayGetValueAtIndex", Array);
    if (!object || idx < 0 || size_t(idx) >= object->items.size()) {
        world().faults.append(QStringLiteral("CFArrayGetValueAtIndex: index outside the array"));
        return nullptr;
    }
    return ref(object->items[size_t(idx)]);
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks*, const CFDictionaryValueCallBacks*) {
    std::lock_guard guard(world().lock);
    Object* dictionary = world().make(Dictionary, QStringLiteral("a created dictionary"));
    for (CFIndex i = 0; i < numValues; ++i) {
        Object* key = use(keys[i], "CFDictionaryCreate");
        Object* value = use(values[i], "CFDictionaryCreate");
        if (key && value)
            contain(dictionary, key, value);
    }
    return static_cast<CFDictionaryRef>(handOut(dictionary));
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
    std::lock_guard guard(world().lock);
    Object* dictionary = use(theDict, "CFDictionaryGetValue", Dictionary);
    const Object* name = use(key, "CFDictionaryGetValue", String);
    if (!dictionary || !name)
        return nullptr;
    const Object* found = lookup(dictionary, name->text);
    return found ? ref(found) : nullptr;
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef) {
    std::lock_guard guard(world().lock);
    const Object* text = use(URLString, "CFURLCreateWithString", String);
    if (!text)
        return nullptr;
    Object* url = world().make(Url, QStringLiteral("a created URL"));
    url->text = text->text;
    return static_cast<CFURLRef>(handOut(url));
}

CFArrayRef CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow) {
    World& w = world();
    std::lock_guard guard(w.lock);
    // A question about one window is not a look at the list.
    const bool one = option & kCGWindowListOptionIncludingWindow;
    if (!one)
        w.listRequest = {option, relativeToWindow};
    const auto entries = one ? w.desktop->windows.entries : w.desktop->windows.onScreenWindows();
    if (!entries)
        return nullptr;
    const QString origin = QStringLiteral("the window list");
    Object* list = w.make(Array, origin);
    for (size_t i = 0; i < entries->size(); ++i) {
        const platform::WindowEntry& entry = (*entries)[i];
        // One window, by its number, as the option asks.
        if ((option & kCGWindowListOptionIncludingWindow) && entry.number != relativeToWindow)
            continue;
        QHash<QString, QVariant> values;
        if (entry.ownerPid)
            values.insert(ownerPidKey->text, qlonglong(*entry.ownerPid));
        if (entry.layer)
            values.insert(layerKey->text, qlonglong(*entry.layer));
        if (entry.number)
            values.insert(numberKey->text, qlonglong(*entry.number));
        if (entry.number && w.desktop->windows.titles.contains(*entry.number))
            values.insert(nameKey->text, w.desktop->windows.titles.value(*entry.number));
        if (entry.bounds)
            values.insert(boundsKey->text, QVariantMap{{"X", entry.bounds->x()},
                                                       {"Y", entry.bounds->y()},
                                                       {"Width", entry.bounds->width()},
                                                       {"Height", entry.bounds->height()}});
        for (auto it = w.windowValues.begin(); it != w.windowValues.end(); ++it) {
            if (it.key().first != int(i))
                continue;
            if (it->isValid())
                values.insert(it.key().second, *it);
            else
                values.remove(it.key().second);
        }
        Object* dictionary = w.make(Dictionary, origin);
        for (auto it = values.begin(); it != values.end(); ++it) {
            Object* key = it.key() == ownerPidKey->text ? ownerPidKey
                          : it.key() == layerKey->text  ? layerKey
                          : it.key() == numberKey->text ? numberKey
                          : it.key() == boundsKey->text ? boundsKey
                          : it.key() == nameKey->text   ? nameKey
                                                        : string(it.key(), origin);
            contain(dictionary, key, fromVariant(*it, origin));
        }
        contain(list, dictionary);
    }
    return static_cast<CFArrayRef>(handOut(list));
}

bool CGRectMakeWithDictionaryRepresentation(CFDictionaryRef dict, CGRect* rect) {
    std::lock_guard guard(world().lock);
    Object* dictionary = use(dict, "CGRectMakeWithDictionaryRepresentation", Dictionary);
    if (!dictionary)
        return false;
    double parts[4];
    const char* names[] = {"X", "Y", "Width", "Height"};
    for (int i = 0; i < 4; ++i) {
        const Object* value = lookup(dictionary, QLatin1String(names[i]));
        if (!value || value->type != Number)
            return false;
        parts[i] = value->real ? value->number : double(value->integer);
    }
    *rect = CGRect{{parts[0], parts[1]}, {parts[2], parts[3]}};
    return true;
}

Boolean AXIsProcessTrusted(void) {
    std::lock_guard guard(world().lock);
    onMainThread("AXIsProcessTrusted");
    return world().desktop->accessibility.isTrusted();
}

Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options) {
    World& w = world();
    std::lock_guard guard(w.lock);
    onMainThread("AXIsProcessTrustedWithOptions");
    Object* dictionary = options ? use(options, "AXIsProcessTrustedWithOptions", Dictionary) : nullptr;
    const Object* prompt = dictionary ? lookup(dictionary, promptKey->text) : nullptr;
    if (prompt && prompt->type == BooleanType && prompt->flag) {
        ++w.prompts;
        return w.desktop->accessibility.requestTrust();
    }
    return w.desktop->accessibility.isTrusted();
}

AXUIElementRef AXUIElementCreateApplication(pid_t pid) {
    std::lock_guard guard(world().lock);
    onMainThread("AXUIElementCreateApplication");
    Object* application =
        element(nullptr, qint32(pid), QStringLiteral("the application element %1").arg(pid));
    application->application = true;
    return static_cast<AXUIElementRef>(handOut(application));
}

AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds) {
    World& w = world();
    std::lock_guard guard(w.lock);
    onMainThread("AXUIElementSetMessagingTimeout");
    Object* object = use(element, "AXUIElementSetMessagingTimeout", Element);
    if (!object || timeoutInSeconds < 0)
        return kAXErrorIllegalArgument;
    object->timeout = timeoutInSeconds;
    // The fake desktop hands out an application together with its time-out.
    if (object->application)
        object->node = std::dynamic_pointer_cast<FakeAXElement>(w.desktop->accessibility.application(
            object->pid, std::chrono::milliseconds(std::lround(timeoutInSeconds * 1000))));
    return kAXErrorSuccess;
}

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute, CFTypeRef* value) {
    World& w = world();
    std::lock_guard guard(w.lock);
    ++w.calls;
    onMainThread("AXUIElementCopyAttributeValue");
    Object* object = use(element, "AXUIElementCopyAttributeValue", Element);
    const Object* name = use(attribute, "AXUIElementCopyAttributeValue", String);
    if (!object || !name || !object->node)
        return kAXErrorInvalidUIElement;
    const std::optional<platform::AXValue> read = object->node->attribute(name->text);
    if (!object->node->answers) {
        if (w.firstUnanswered < 0)
            w.firstUnanswered = w.desktop->log->size() - 1;
        return unanswered(object);
    }
    const QString origin = QStringLiteral("%1 of %2").arg(name->text, object->node->name);
    if (const auto raw = w.raw.constFind({object->node.get(), name->text}); raw != w.raw.constEnd()) {
        *value = handOut(rawValue(*raw, object->pid, origin));
        return kAXErrorSuccess;
    }
    if (!read)
        return kAXErrorNoValue;
    *value = handOut(fromPort(*read, object->pid, origin));
    return kAXErrorSuccess;
}

AXError AXUIElementSetAttributeValue(AXUIElementRef element, CFStringRef attribute, CFTypeRef value) {
    World& w = world();
    std::lock_guard guard(w.lock);
    ++w.calls;
    onMainThread("AXUIElementSetAttributeValue");
    Object* object = use(element, "AXUIElementSetAttributeValue", Element);
    const Object* name = use(attribute, "AXUIElementSetAttributeValue", String);
    Object* written = use(value, "AXUIElementSetAttributeValue");
    if (!object || !name || !written || !object->node)
        return kAXErrorIllegalArgument;
    const std::optional<platform::AXValue> port = toPort(written);
    if (!port)
        return kAXErrorIllegalArgument;
    return object->node->setAttribute(name->text, *port) ? kAXErrorSuccess : unanswered(object);
}

AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action) {
    World& w = world();
    std::lock_guard guard(w.lock);
    ++w.calls;
    onMainThread("AXUIElementPerformAction");
    Object* object = use(element, "AXUIElementPerformAction", Element);
    const Object* name = use(action, "AXUIElementPerformAction", String);
    if (!object || !name || !object->node)
        return kAXErrorInvalidUIElement;
    return object->node->performAction(name->text) ? kAXErrorSuccess : unanswered(object);
}

AXError AXUIElementCopyElementAtPosition(AXUIElementRef application, float x, float y,
                                         AXUIElementRef* element) {
    World& w = world();
    std::lock_guard guard(w.lock);
    ++w.calls;
    onMainThread("AXUIElementCopyElementAtPosition");
    Object* object = use(application, "AXUIElementCopyElementAtPosition", Element);
    if (!object || !object->node)
        return kAXErrorInvalidUIElement;
    const platform::AXElementRef found = w.desktop->accessibility.elementAt(object->node, x, y);
    if (!object->node->answers)
        return unanswered(object);
    auto node = std::dynamic_pointer_cast<FakeAXElement>(found);
    if (!node)
        return kAXErrorNoValue;
    *element = static_cast<AXUIElementRef>(
        handOut(::element(node, object->pid, QStringLiteral("the element at a position"))));
    return kAXErrorSuccess;
}

AXValueRef AXValueCreate(AXValueType theType, const void* valuePtr) {
    std::lock_guard guard(world().lock);
    CGRect box{};
    if (theType == kAXValueTypeCGPoint)
        box.origin = *static_cast<const CGPoint*>(valuePtr);
    else if (theType == kAXValueTypeCGSize)
        box.size = *static_cast<const CGSize*>(valuePtr);
    else
        box = *static_cast<const CGRect*>(valuePtr);
    return static_cast<AXValueRef>(handOut(axValue(theType, box, QStringLiteral("a created value"))));
}

AXValueType AXValueGetType(AXValueRef value) {
    std::lock_guard guard(world().lock);
    const Object* object = use(value, "AXValueGetType", Value);
    return object ? object->valueType : kAXValueTypeIllegal;
}

Boolean AXValueGetValue(AXValueRef value, AXValueType theType, void* valuePtr) {
    std::lock_guard guard(world().lock);
    const Object* object = use(value, "AXValueGetValue", Value);
    if (!object || object->valueType != theType)
        return false;
    if (theType == kAXValueTypeCGPoint)
        *static_cast<CGPoint*>(valuePtr) = object->box.origin;
    else if (theType == kAXValueTypeCGSize)
        *static_cast<CGSize*>(valuePtr) = object->box.size;
    else
        *static_cast<CGRect*>(valuePtr) = object->box;
    return true;
}

OSStatus LSOpenCFURLRef(CFURLRef inURL, CFURLRef* outLaunchedURL) {
    World& w = world();
    std::lock_guard guard(w.lock);
    const Object* url = use(inURL, "LSOpenCFURLRef", Url);
    if (outLaunchedURL)
        *outLaunchedURL = nullptr;
    if (!url)
        return -50;
    w.urls.append(url->text);
    // The fake desktop says whether it has accessibility settings to open.
    return w.desktop->accessibility.openSettings() ? noErr : -10814;
}

} // extern "C"
