#include "simulator/ElementSource.h"

#include "foundation/Geometry.h"
#include "simulator/ElementPicker.h"

namespace {

PickResult empty(const QPointF& at, const SimulatorWindow& in, const QRectF& screen) {
    return PickResult{std::nullopt, std::nullopt, QStringLiteral("Screen"), std::nullopt, at, screen, in, {}};
}

class Live final : public ElementSource {
public:
    explicit Live(platform::Accessibility& accessibility) : m_accessibility(accessibility) {}
    PickResult element(const QPointF& at, const SimulatorWindow& in, const QRectF& screen) override {
        return ElementPicker::element(m_accessibility, at, in, screen);
    }
    std::vector<PickResult> elements(const SimulatorWindow& in, const QRectF& screen) override {
        return ElementPicker::elements(in, screen);
    }

private:
    platform::Accessibility& m_accessibility;
};

class Snapshot final : public ElementSource {
public:
    Snapshot(DeviceTree::Tree tree, QSizeF points) : m_tree(std::move(tree)), m_points(points) {}

    PickResult element(const QPointF& at, const SimulatorWindow& in, const QRectF& screen) override {
        PickResult result = empty(at, in, screen);
        const double k = scale(screen);
        if (!Geometry::contains(screen, at) || k <= 0)
            return result;
        const std::optional<int> hit = DeviceTree::at(m_tree, (at - screen.topLeft()) / k);
        if (hit)
            describe(m_tree.nodes[std::size_t(*hit)], screen, k, result);
        return result;
    }

    std::vector<PickResult> elements(const SimulatorWindow& in, const QRectF& screen) override {
        std::vector<PickResult> found;
        const double k = scale(screen);
        if (k <= 0)
            return found;
        for (const int index : DeviceTree::stops(m_tree)) {
            const DeviceTree::Node& node = m_tree.nodes[std::size_t(index)];
            const QRectF frame = place(node.frame, screen, k);
            const QRectF visible = Geometry::intersection(frame, screen);
            if (visible.isEmpty() || !Geometry::contains(screen, visible.center()))
                continue;
            PickResult pick = empty(visible.center(), in, screen);
            describe(node, screen, k, pick);
            found.push_back(std::move(pick));
        }
        ElementPicker::sortForReading(found);
        return found;
    }

private:
    // Desktop points per device point.
    double scale(const QRectF& screen) const {
        return m_points.width() > 0 ? screen.width() / m_points.width() : 0;
    }
    static QRectF place(const QRectF& frame, const QRectF& screen, double k) {
        return {screen.x() + frame.x() * k, screen.y() + frame.y() * k, frame.width() * k,
                frame.height() * k};
    }
    static void describe(const DeviceTree::Node& node, const QRectF& screen, double k, PickResult& result) {
        result.identifier = node.identifier;
        result.label = node.label;
        result.role = node.role;
        result.frame = place(node.frame, screen, k);
    }

    DeviceTree::Tree m_tree;
    QSizeF m_points;
};

class None final : public ElementSource {
public:
    PickResult element(const QPointF& at, const SimulatorWindow& in, const QRectF& screen) override {
        return empty(at, in, screen);
    }
    std::vector<PickResult> elements(const SimulatorWindow&, const QRectF&) override { return {}; }
};

} // namespace

namespace ElementSources {

std::shared_ptr<ElementSource> live(platform::Accessibility& accessibility) {
    return std::make_shared<Live>(accessibility);
}

std::shared_ptr<ElementSource> snapshot(DeviceTree::Tree tree, QSizeF points) {
    return std::make_shared<Snapshot>(std::move(tree), points);
}

std::shared_ptr<ElementSource> none() {
    return std::make_shared<None>();
}

} // namespace ElementSources
