#pragma once

#include "platform/Platform.h"

#include <QTextStream>
#include <qcoro/qcorotask.h>

// `Tallyrig --self-check`: what each port sees on this desktop, for the first run on a platform
// nobody has tried the app on: access, the Simulator's windows and where their elements come from,
// a hit at the device's centre and a screenshot, each with its time, and how the panel window is
// made. Prints as it goes.
namespace SelfCheck {

// 0 when every check passed, else 1. The ports outlive the task.
QCoro::Task<int> run(platform::Platform& ports, QTextStream& out);

} // namespace SelfCheck
