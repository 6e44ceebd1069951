#pragma once

#include <QByteArray>
#include <QString>

#include <nlohmann/json.hpp>

#include <cstddef>

// JSON that another program wrote: a bridge's answer, the simulator tool's listing, a file in a
// repository or the settings file. Reading it never throws, and what the user is told of a bad
// text is in our words, never the JSON library's.
namespace JsonInput {

struct Reading {
    enum class Problem { None, Invalid, NumberTooLarge, TooDeep };
    nlohmann::json value; // null unless the reading succeeded
    Problem problem = Problem::None;
    std::size_t byte = 0; // for Invalid, where the text stops being JSON (from 1); 0 when unknown

    explicit operator bool() const { return problem == Problem::None; }
};

// Top-level fragments are allowed. Values nested deeper than this are refused: writing one back as
// text would recurse as deep.
constexpr int maximumDepth = 256;

Reading read(const QByteArray& bytes);

// What went wrong, for the user: "<subject> isn’t valid JSON (at byte 3)" and the like.
QString describe(const Reading& reading, const QString& subject);

} // namespace JsonInput
