#pragma once

#include <QByteArray>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

// A device's own accessibility tree, as a tool read it from the simulator itself (AXe's
// `describe-ui`): frames in device points from the screen's top-left corner.
namespace DeviceTree {

struct Node {
    QString role;                      // "Button", "StaticText"…: the tool's type, else its role
    std::optional<QString> identifier; // the accessibility identifier
    std::optional<QString> label;      // the first of label, title and value that says something
    QRectF frame;                      // device points; empty when the tool gave none
    int depth = 0;                     // 0 for a root (the application)
    std::vector<int> children;         // in the tool's order, which is back to front
};

struct Tree {
    std::vector<Node> nodes;
    std::vector<int> roots;
    // The first root's frame size; empty for a 0 × 0 root.
    QSizeF size;

    // Nothing below the application: the device keeps its accessibility off.
    bool bare() const;
};

// The most elements a tree keeps; the rest of a larger one is left out.
inline constexpr int maximumNodes = 5000;

// Throws Failure, in our words, when the text is not such a tree.
Tree parse(const QByteArray& output);

// The deepest element under a point in device points, the frontmost among overlapping siblings;
// none on a root, on nothing, or outside every frame.
std::optional<int> at(const Tree& tree, const QPointF& point);

// What the keyboard moves through, in the tool's order: groups are passed through to what they
// hold, an empty group counts only when named, anything else is one stop; roots left out.
std::vector<int> stops(const Tree& tree);

} // namespace DeviceTree
