#include "simulator/DeviceTree.h"

#include "foundation/Failure.h"
#include "foundation/JsonInput.h"

#include <cmath>

namespace DeviceTree {

namespace {

const QString subject = QStringLiteral("The simulator\u2019s element tree");

std::optional<QString> text(const nlohmann::json& node, const char* key) {
    const auto found = node.find(key);
    if (found == node.end() || !found->is_string())
        return std::nullopt;
    QString value = QString::fromStdString(found->get<std::string>()).trimmed();
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

QRectF frameOf(const nlohmann::json& node) {
    const auto frame = node.find("frame");
    if (frame == node.end() || !frame->is_object())
        return {};
    double v[4];
    const char* keys[] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        const auto member = frame->find(keys[i]);
        if (member == frame->end() || !member->is_number())
            return {};
        v[i] = member->get<double>();
        if (!std::isfinite(v[i]))
            return {};
    }
    if (v[2] < 0 || v[3] < 0)
        return {};
    return {v[0], v[1], v[2], v[3]};
}

void add(Tree& tree, const nlohmann::json& node, int depth, int parent) {
    if (!node.is_object() || int(tree.nodes.size()) >= maximumNodes)
        return;
    Node read;
    read.depth = depth;
    read.role = text(node, "type").value_or(QString());
    if (read.role.isEmpty()) {
        read.role = text(node, "role").value_or(QStringLiteral("AXElement"));
        if (read.role.startsWith(QLatin1String("AX")))
            read.role.remove(0, 2);
    }
    read.identifier = text(node, "AXUniqueId");
    if (!read.identifier)
        read.identifier = text(node, "AXIdentifier");
    for (const char* key : {"AXLabel", "title", "AXValue"}) {
        if ((read.label = text(node, key)))
            break;
    }
    read.frame = frameOf(node);
    const int index = int(tree.nodes.size());
    tree.nodes.push_back(std::move(read));
    if (parent < 0)
        tree.roots.push_back(index);
    else
        tree.nodes[std::size_t(parent)].children.push_back(index);
    const auto children = node.find("children");
    if (children == node.end() || !children->is_array())
        return;
    for (const nlohmann::json& child : *children)
        add(tree, child, depth + 1, index);
}

bool holds(const QRectF& frame, const QPointF& point) {
    return !frame.isEmpty() && frame.left() <= point.x() && point.x() < frame.right() &&
           frame.top() <= point.y() && point.y() < frame.bottom();
}

} // namespace

bool Tree::bare() const {
    for (const int root : roots) {
        if (!nodes[std::size_t(root)].children.empty())
            return false;
    }
    return true;
}

Tree parse(const QByteArray& output) {
    const JsonInput::Reading reading = JsonInput::read(output);
    if (!reading)
        throw Failure(JsonInput::describe(reading, subject));
    const nlohmann::json& value = reading.value;
    Tree tree;
    if (value.is_array()) {
        for (const nlohmann::json& root : value)
            add(tree, root, 0, -1);
    } else {
        add(tree, value, 0, -1);
    }
    if (tree.roots.empty())
        throw Failure(subject + QStringLiteral(" is empty"));
    tree.size = tree.nodes[std::size_t(tree.roots.front())].frame.size();
    return tree;
}

std::optional<int> at(const Tree& tree, const QPointF& point) {
    std::optional<int> found;
    // From the front root down: the last sibling holding the point lies in front of the others.
    const std::vector<int>* level = &tree.roots;
    bool descended = true;
    while (descended) {
        descended = false;
        for (auto it = level->rbegin(); it != level->rend(); ++it) {
            const Node& node = tree.nodes[std::size_t(*it)];
            // A root stands for the whole screen, never for an element on it; its children may
            // still lie outside its frame (a 0 × 0 root).
            if (node.depth > 0 && !holds(node.frame, point))
                continue;
            if (node.depth > 0)
                found = *it;
            level = &node.children;
            descended = true;
            break;
        }
    }
    return found;
}

std::vector<int> stops(const Tree& tree) {
    std::vector<int> found;
    // Groups are passed through to what they hold; anything else is one stop, whatever it holds.
    std::vector<int> pending(tree.roots.rbegin(), tree.roots.rend());
    while (!pending.empty()) {
        const int index = pending.back();
        pending.pop_back();
        const Node& node = tree.nodes[std::size_t(index)];
        const bool container = node.depth == 0 || node.role == QLatin1String("Group");
        if (container && !node.children.empty()) {
            pending.insert(pending.end(), node.children.rbegin(), node.children.rend());
            continue;
        }
        if (node.depth == 0 || node.frame.isEmpty() || (container && !node.identifier && !node.label))
            continue;
        found.push_back(index);
    }
    return found;
}

} // namespace DeviceTree
