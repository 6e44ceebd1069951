#pragma once

#include "platform/Accessibility.h"
#include "platform/linux/AtspiApplication.h"
#include "platform/linux/AtspiPlacement.h"
#include "platform/linux/AtspiProtocol.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRect>

#include <memory>
#include <optional>
#include <vector>

namespace platform::atspi {

// A value read ahead together with others, for the reads that come right after.
template <class T> class Ahead {
public:
    // Longer than the reads of one look at the Simulator take, far shorter than a person notices.
    static constexpr qint64 lifetime = 100; // milliseconds

    void put(std::optional<T> value) {
        m_value = std::move(value);
        m_held = true;
        m_taken.start();
    }
    bool holds() const { return m_held && m_taken.elapsed() <= lifetime; }
    // The value read ahead, once; none when there is none or it has grown old.
    std::optional<std::optional<T>> take() {
        if (!holds()) {
            m_held = false;
            return std::nullopt;
        }
        m_held = false;
        return std::move(m_value);
    }
    // The value read ahead, for as long as it is young, without using it up.
    const std::optional<T>* peek() const { return holds() ? &m_value : nullptr; }

private:
    std::optional<T> m_value;
    bool m_held = false;
    QElapsedTimer m_taken;
};

// One accessible object of an application, read with the AX attribute names the targeting code
// uses. Positions and sizes are the toolkit's logical pixels; the protocol's are the application's
// own (see Placement), turned into device pixels here.
class Element final : public AXElement {
public:
    // What may be read ahead for a group of elements.
    enum Read : unsigned {
        Role = 1,
        Identifier = 2,
        States = 4,
        Extents = 8,
        Name = 16,
        Text = 32,
        Description = 64,
        Attributes = 128,
        Parent = 256,
    };

    Element(std::shared_ptr<Application> application, QString path, std::optional<uint> role = std::nullopt);

    bool isApplication() const;

    std::optional<AXValue> attribute(const QString& name) override;
    std::optional<QRectF> frame() override;
    bool setAttribute(const QString& name, const AXValue& value) override;
    bool performAction(const QString& name) override;

    // The deepest element at a point in device pixels, descending from the window under it.
    std::shared_ptr<Element> at(int x, int y);
    // Of an application element: how much of its tree the application publishes.
    Published published();
    // Of an application element: asks for the rest of a bare tree; false when it does not answer.
    bool askToPublish();

    // Reads ahead, in one go, what each element will be asked next. Role and identifier stay with
    // the element (they do not change); the rest serves one read.
    static void readAhead(Application& application, const std::vector<std::shared_ptr<Element>>& elements,
                          unsigned what);

private:
    static void read(Application& application, const std::vector<Element*>& elements, unsigned what);

    std::optional<uint> role();
    std::optional<QString> identifier();
    std::optional<QString> accessibleName();
    std::optional<QString> description();
    std::optional<QHash<QString, QString>> objectAttributes();
    // In the application's own pixels, as the protocol gives them.
    std::optional<QRect> ownExtents();
    // In device pixels.
    std::optional<QRectF> extents();
    std::optional<quint64> states();
    // What a record of the element reads beyond what a hit reads, asked together when the first
    // of them is asked.
    void readRecord();
    std::optional<Placement> placement();
    std::optional<double> screenScale();

    std::optional<std::vector<std::shared_ptr<Element>>> children(unsigned ahead);
    std::optional<std::vector<std::shared_ptr<Element>>> windows(unsigned ahead);
    std::shared_ptr<Element> frontmost(const std::vector<std::pair<std::shared_ptr<Element>, QRectF>>& under);
    // Below `from`, by the children's extents: for toolkits that answer no hit test of their own.
    std::shared_ptr<Element> descend(std::shared_ptr<Element> from, int x, int y);
    std::optional<AXValue> subrole();
    std::optional<AXValue> value();

    std::shared_ptr<Application> m_application;
    QString m_path;
    std::optional<uint> m_role;
    std::optional<QString> m_identifier;
    bool m_window = false; // a child of the application
    // Where its positions land when not where the application's do: below a window of a toolkit
    // that counts from each window, and below a Chromium page (device pixels).
    std::optional<Placement> m_placement;
    Ahead<quint64> m_states;
    Ahead<QRect> m_extents;
    Ahead<QString> m_name;
    Ahead<QString> m_text;
    Ahead<QString> m_description;
    Ahead<QHash<QString, QString>> m_attributes;
    Ahead<ObjectRef> m_parent;
};

} // namespace platform::atspi
