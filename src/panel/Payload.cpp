#include "panel/Payload.h"

#include "foundation/Failure.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

bool sameWindow(const SimulatorWindow& a, const SimulatorWindow& b) {
    return a.pid == b.pid && a.frame == b.frame && a.title == b.title && a.number == b.number &&
           a.axWindow == b.axWindow;
}

bool samePick(const PickResult& a, const PickResult& b) {
    return a.identifier == b.identifier && a.label == b.label && a.role == b.role && a.frame == b.frame &&
           a.point == b.point && a.screen == b.screen && sameWindow(a.window, b.window);
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

const char* const screenshotKey = "screenshotPNG";
const char* const annotatedKey = "annotatedScreenshotPNG";

// The body's pictures in the order they are written; an annotated picture that could not be made
// is left out.
std::vector<std::pair<const char*, const QByteArray*>> members(const ReportPictures& pictures) {
    std::vector<std::pair<const char*, const QByteArray*>> written{{screenshotKey, &pictures.screenshot}};
    if (!pictures.annotated.isEmpty())
        written.emplace_back(annotatedKey, &pictures.annotated);
    return written;
}

nlohmann::json elementRecord(const PickResult& pick, const QRectF& f) {
    nlohmann::json element;
    element["name"] = utf8(pick.identifier ? *pick.identifier : pick.label ? *pick.label : pick.role);
    element["type"] = utf8(pick.role);
    element["resolution"] = "accessibility";
    element["frame"] = {{"x", f.x()}, {"y", f.y()}, {"width", f.width()}, {"height", f.height()}};
    if (pick.identifier)
        element["identifier"] = utf8(*pick.identifier);
    if (pick.label)
        element["accessibilityLabel"] = utf8(*pick.label);
    // What a desktop window's tree tells beyond that.
    const ElementDetails& details = pick.details;
    if (details.description)
        element["description"] = utf8(*details.description);
    if (!details.states.isEmpty()) {
        nlohmann::json states = nlohmann::json::array();
        for (const QString& state : details.states)
            states.push_back(utf8(state));
        element["states"] = std::move(states);
    }
    if (details.hasDom()) {
        nlohmann::json dom = nlohmann::json::object();
        if (details.tag)
            dom["tag"] = utf8(*details.tag);
        if (details.domId)
            dom["id"] = utf8(*details.domId);
        if (details.classes)
            dom["class"] = utf8(*details.classes);
        element["dom"] = std::move(dom);
    }
    return element;
}

nlohmann::json point(const QPointF& p) {
    return {{"x", p.x()}, {"y", p.y()}};
}

} // namespace

bool operator==(const Draft& a, const Draft& b) {
    return std::equal(a.pins.begin(), a.pins.end(), b.pins.begin(), b.pins.end(), samePick) &&
           a.device == b.device && a.mapping.screen == b.mapping.screen &&
           a.mapping.factor == b.mapping.factor && a.mapping.size == b.mapping.size && a.png == b.png;
}

double roundToTenth(double v) {
    // std::round takes halves away from zero, on both sides of it.
    return std::round(v * 10) / 10;
}

bool DevicePlacement::isFinite() const {
    const auto finite = [](double v) { return std::isfinite(v); };
    if (!finite(touch.x()) || !finite(touch.y()))
        return false;
    return !frame ||
           (finite(frame->x()) && finite(frame->y()) && finite(frame->width()) && finite(frame->height()));
}

std::optional<Draft> Draft::without(std::size_t index) const {
    Draft fewer = *this;
    if (index < fewer.pins.size())
        fewer.pins.erase(fewer.pins.begin() + qsizetype(index));
    if (fewer.pins.empty())
        return std::nullopt;
    return fewer;
}

namespace {

// A pin on the device screen, from the screen's top-left corner where it was picked: the first
// pin's is the mapping's own, a later one's moved with the window if the window moved meanwhile.
DevicePlacement placePin(const PickResult& pin, const QRectF& screen, double k) {
    const double left = std::min(screen.left(), screen.right());
    const double top = std::min(screen.top(), screen.bottom());
    DevicePlacement placement;
    placement.touch =
        QPointF(roundToTenth(k * (pin.point.x() - left)), roundToTenth(k * (pin.point.y() - top)));
    if (const auto& f = pin.frame) {
        placement.frame =
            QRectF(roundToTenth((f->x() - left) * k), roundToTenth((f->y() - top) * k),
                   roundToTenth(std::abs(f->width()) * k), roundToTenth(std::abs(f->height()) * k));
    }
    return placement;
}

} // namespace

DevicePlacement place(const Draft& draft) {
    return placePin(draft.pick(), draft.mapping.screen, draft.mapping.factor);
}

std::vector<DevicePlacement> placeAll(const Draft& draft) {
    std::vector<DevicePlacement> placements;
    placements.reserve(draft.pins.size());
    for (std::size_t i = 0; i < draft.pins.size(); ++i) {
        const QRectF& screen = i == 0 ? draft.mapping.screen : draft.pins[i].screen;
        placements.push_back(placePin(draft.pins[i], screen, draft.mapping.factor));
    }
    return placements;
}

QByteArray ReportBody::compact() const {
    std::string fields;
    try {
        fields = object.dump();
    } catch (const nlohmann::json::exception& error) {
        throw Failure(QStringLiteral("The report can\u2019t be written as JSON: ") +
                      QString::fromUtf8(error.what()));
    }
    if (!pictures)
        return QByteArray(fields.data(), qsizetype(fields.size()));

    // The fields' closing brace gives way to the pictures; base64 needs no escaping.
    qsizetype size = qsizetype(fields.size());
    for (const auto& [key, text] : members(*pictures))
        size += qsizetype(std::strlen(key)) + text->size() + 6;
    QByteArray out;
    out.reserve(size);
    out.append(fields.data(), qsizetype(fields.size()) - 1);
    bool first = object.empty();
    for (const auto& [key, text] : members(*pictures)) {
        out += first ? "\"" : ",\"";
        first = false;
        out += key;
        out += "\":\"";
        out += *text;
        out += '"';
    }
    out += '}';
    return out;
}

nlohmann::json ReportBody::value() const {
    nlohmann::json whole = object;
    if (pictures) {
        for (const auto& [key, text] : members(*pictures))
            whole[key] = text->toStdString();
    }
    return whole;
}

ReportBody payload(const Draft& draft, const QString& comment, const std::optional<QString>& category,
                   const std::optional<ReportPictures>& pictures) {
    const PickResult& pick = draft.pick();
    const std::vector<DevicePlacement> placements = placeAll(draft);
    ReportBody body;
    nlohmann::json& o = body.object;
    const SimulatorWindow& window = pick.window;
    o["comment"] = utf8(comment.trimmed());
    o["platform"] = "ios";
    // Which kind of code an agent should change: an iOS view, or a desktop or web one.
    o["target"] = window.kind == SimulatorWindow::Kind::Window ? "window" : "simulator";
    o["screen"] = utf8(pick.window.title.isEmpty() ? draft.device.name : pick.window.title);
    o["touch"] = point(placements.front().touch);
    o["simulator"] = utf8(draft.device.udid);
    o["device"] = utf8(draft.device.name);
    o["viewport"] = utf8(QString::number(qint64(std::trunc(draft.mapping.size.width()))) + QLatin1Char('x') +
                         QString::number(qint64(std::trunc(draft.mapping.size.height()))));
    if (window.kind == SimulatorWindow::Kind::Window && window.application) {
        const SimulatorWindow::Application& application = *window.application;
        nlohmann::json named = {{"name", utf8(application.name)},
                                {"title", utf8(window.title)},
                                {"scale", application.scale},
                                {"windowClass", utf8(application.windowClass)}};
        if (application.executable)
            named["executable"] = utf8(*application.executable);
        o["application"] = std::move(named);
    }
    if (category)
        o["category"] = utf8(*category);
    if (placements.front().frame)
        o["element"] = elementRecord(pick, *placements.front().frame);
    nlohmann::json elements = nlohmann::json::array();
    for (std::size_t i = 0; i < draft.pins.size(); ++i) {
        nlohmann::json pin;
        pin["index"] = i + 1;
        pin["touch"] = point(placements[i].touch);
        if (placements[i].frame)
            pin["element"] = elementRecord(draft.pins[i], *placements[i].frame);
        elements.push_back(std::move(pin));
    }
    o["elements"] = std::move(elements);
    body.pictures = pictures;
    return body;
}
