#include "panel/Payload.h"

#include "foundation/Failure.h"

#include <cmath>

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

// Chunks of whole 3-byte groups encode to base64 that concatenates without padding in between.
constexpr qsizetype base64Chunk = 3 * 64 * 1024;

qsizetype base64Size(qsizetype bytes) {
    return (bytes + 2) / 3 * 4;
}

void appendBase64(QByteArray& out, const QByteArray& bytes) {
    for (qsizetype at = 0; at < bytes.size(); at += base64Chunk) {
        const qsizetype length = std::min(base64Chunk, bytes.size() - at);
        out += QByteArray::fromRawData(bytes.constData() + at, length).toBase64();
    }
}

const char* const screenshotKey = "screenshotPNG";

} // namespace

bool operator==(const Draft& a, const Draft& b) {
    return samePick(a.pick, b.pick) && a.device == b.device && a.mapping.screen == b.mapping.screen &&
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

DevicePlacement place(const Draft& draft) {
    const QRectF& screen = draft.mapping.screen;
    const double k = draft.mapping.factor;
    const double left = std::min(screen.left(), screen.right());
    const double top = std::min(screen.top(), screen.bottom());
    DevicePlacement placement;
    placement.touch = QPointF(roundToTenth(k * (draft.pick.point.x() - left)),
                              roundToTenth(k * (draft.pick.point.y() - top)));
    if (const auto& f = draft.pick.frame) {
        placement.frame =
            QRectF(roundToTenth((f->x() - left) * k), roundToTenth((f->y() - top) * k),
                   roundToTenth(std::abs(f->width()) * k), roundToTenth(std::abs(f->height()) * k));
    }
    return placement;
}

QByteArray ReportBody::compact() const {
    std::string fields;
    try {
        fields = object.dump();
    } catch (const nlohmann::json::exception& error) {
        throw Failure(QStringLiteral("The report can\u2019t be written as JSON: ") +
                      QString::fromUtf8(error.what()));
    }
    if (!screenshotPng)
        return QByteArray(fields.data(), qsizetype(fields.size()));

    // The fields' closing brace gives way to the screenshot member; base64 needs no escaping.
    const std::string key = nlohmann::json(screenshotKey).dump();
    QByteArray out;
    out.reserve(qsizetype(fields.size() + key.size()) + base64Size(screenshotPng->size()) + 4);
    out.append(fields.data(), qsizetype(fields.size()) - 1);
    if (!object.empty())
        out += ',';
    out.append(key.data(), qsizetype(key.size()));
    out += ":\"";
    appendBase64(out, *screenshotPng);
    out += "\"}";
    return out;
}

nlohmann::json ReportBody::value() const {
    nlohmann::json whole = object;
    if (screenshotPng)
        whole[screenshotKey] = screenshotPng->toBase64().toStdString();
    return whole;
}

ReportBody payload(const Draft& draft, const QString& comment, const std::optional<QString>& category,
                   bool screenshot) {
    const PickResult& pick = draft.pick;
    const DevicePlacement placement = place(draft);
    ReportBody body;
    nlohmann::json& o = body.object;
    o["comment"] = utf8(comment.trimmed());
    o["platform"] = "ios";
    o["screen"] = utf8(pick.window.title.isEmpty() ? draft.device.name : pick.window.title);
    o["touch"] = {{"x", placement.touch.x()}, {"y", placement.touch.y()}};
    o["simulator"] = utf8(draft.device.udid);
    o["device"] = utf8(draft.device.name);
    o["viewport"] = utf8(QString::number(qint64(std::trunc(draft.mapping.size.width()))) + QLatin1Char('x') +
                         QString::number(qint64(std::trunc(draft.mapping.size.height()))));
    if (category)
        o["category"] = utf8(*category);
    if (placement.frame) {
        const QRectF& f = *placement.frame;
        nlohmann::json element;
        element["name"] = utf8(pick.identifier ? *pick.identifier : pick.label ? *pick.label : pick.role);
        element["type"] = utf8(pick.role);
        element["resolution"] = "accessibility";
        element["frame"] = {{"x", f.x()}, {"y", f.y()}, {"width", f.width()}, {"height", f.height()}};
        if (pick.identifier)
            element["identifier"] = utf8(*pick.identifier);
        if (pick.label)
            element["accessibilityLabel"] = utf8(*pick.label);
        o["element"] = std::move(element);
    }
    if (screenshot)
        body.screenshotPng = draft.png;
    return body;
}
