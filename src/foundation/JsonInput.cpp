#include "foundation/JsonInput.h"

namespace JsonInput {

namespace {

struct TooDeep {};

} // namespace

Reading read(const QByteArray& bytes) {
    Reading reading;
    const auto depthLimit = [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        if (depth > maximumDepth)
            throw TooDeep{};
        return true;
    };
    try {
        reading.value =
            nlohmann::json::parse(bytes.constData(), bytes.constData() + bytes.size(), depthLimit);
    } catch (const nlohmann::json::parse_error& error) {
        reading.problem = Reading::Problem::Invalid;
        reading.byte = error.byte;
    } catch (const nlohmann::json::out_of_range&) {
        // The only range the parser checks: a number beyond what a double holds (1e400).
        reading.problem = Reading::Problem::NumberTooLarge;
    } catch (const nlohmann::json::exception&) {
        reading.problem = Reading::Problem::Invalid;
    } catch (const TooDeep&) {
        reading.problem = Reading::Problem::TooDeep;
    }
    if (!reading)
        reading.value = nullptr;
    return reading;
}

QString describe(const Reading& reading, const QString& subject) {
    switch (reading.problem) {
    case Reading::Problem::None:
        return {};
    case Reading::Problem::Invalid:
        return subject + QStringLiteral(" isn\u2019t valid JSON") +
               (reading.byte ? QStringLiteral(" (at byte %1)").arg(reading.byte) : QString());
    case Reading::Problem::NumberTooLarge:
        return subject + QStringLiteral(" holds a number too large to read");
    case Reading::Problem::TooDeep:
        return subject + QStringLiteral(" is nested too deeply");
    }
    return {};
}

} // namespace JsonInput
