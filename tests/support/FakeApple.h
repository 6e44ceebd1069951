#pragma once

#include "support/FakeDesktop.h"

#include <QStringList>
#include <QVariant>

#include <chrono>
#include <cstdint>
#include <utility>

// A fake of the Apple C interfaces the macOS backend uses (declared in apple/AppleInterfaces.h),
// backed by a fake desktop: the window server lists its window list, accessibility reads its
// elements and its trust, launch services open its settings. Every Core Foundation object it hands
// out or is handed is counted, so that a test can tell that each was released exactly once.
namespace FakeApple {

// The desktop the interfaces answer from; the counts start anew.
void bind(FakeDesktop* desktop);

// What the window server holds for one entry of the list beyond what the desktop can say: the value
// under `key` ("kCGWindowOwnerPID"…) of the `entry`th window is replaced (QString: a string, double
// or qlonglong: a number, bool: a Boolean, QVariantMap: a dictionary of numbers) or, when `value`
// is invalid, removed.
void setWindowValue(int entry, const QString& key, const QVariant& value);
// An attribute holding what no port value can: "rect" (an accessibility value holding a rectangle),
// "date" (another Core Foundation type), "mixed" (a list of an element and a text).
void setRawAttribute(const FakeAXElement& element, const QString& attribute, const QString& kind);

// Calls that reached the accessibility interface's elements (reads, writes, actions, hit tests).
int accessibilityCalls();
// The options and reference window of the last window list asked for.
std::pair<uint32_t, uint32_t> lastListRequest();
// The trust checks that asked to prompt, and the URLs opened.
int prompts();
QStringList openedUrls();

// Where the first read that went unanswered stands in the desktop's log; -1 when none did.
qsizetype firstUnanswered();
// How long the calls that went unanswered waited in all: each for its element's own time-out, or,
// on an element that has none, for the interface's default of 6 s.
std::chrono::milliseconds waited();

// Every mistake seen (a release too many, an object used after its last release, an accessibility
// call off the main thread) and every object still held; empty when each object was released
// exactly once.
QStringList faults();

// The fake desktop's element behind an accessibility element the fake handed out; null for none.
FakeAXElement* nodeOf(const void* element);

} // namespace FakeApple
