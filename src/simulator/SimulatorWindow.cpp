#include "simulator/SimulatorWindow.h"

namespace {
const QString separator = QStringLiteral(" \u2013 ");
}

QString SimulatorWindow::deviceName() const {
    const qsizetype at = title.indexOf(separator);
    return at < 0 ? title : title.left(at);
}

std::optional<QString> SimulatorWindow::runtime() const {
    const qsizetype first = title.indexOf(separator);
    if (first < 0)
        return std::nullopt;
    const qsizetype start = first + separator.size();
    const qsizetype second = title.indexOf(separator, start);
    return second < 0 ? title.mid(start) : title.mid(start, second - start);
}
