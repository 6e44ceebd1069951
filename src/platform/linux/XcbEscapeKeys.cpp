#include "platform/linux/XcbEscapeKeys.h"

#include "platform/linux/XcbReply.h"

#include <xcb/xinput.h>

namespace platform::x11 {

namespace {

constexpr quint32 escapeKeysym = 0xff1b;

} // namespace

class EscapeKeys::KeyWatch final : public Watch {
public:
    KeyWatch(EscapeKeys& keys, std::function<void()> escape) : escape(std::move(escape)), m_keys(keys) {}
    ~KeyWatch() override {
        m_keys.m_watches.removeAll(this);
        if (m_keys.m_watches.isEmpty())
            m_keys.select(false);
    }
    std::function<void()> escape;

private:
    EscapeKeys& m_keys;
};

EscapeKeys::EscapeKeys(std::shared_ptr<XcbConnection> connection) : m_x(std::move(connection)) {
    if (!m_x->usable())
        return;
    xcb_connection_t* c = m_x->get();
    if (const xcb_query_extension_reply_t* input = xcb_get_extension_data(c, &xcb_input_id);
        input && input->present) {
        const auto version =
            own(xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
        if (version && version->major_version >= 2) {
            m_inputOpcode = input->major_opcode;
            m_rawKeys = true;
        }
    }
    m_listening = m_x->listen([this](const xcb_generic_event_t& event) { handle(event); });
}

std::unique_ptr<Watch> EscapeKeys::watch(std::function<void()> escape) {
    if (!m_x->usable() || !m_rawKeys)
        return nullptr;
    auto watch = std::make_unique<KeyWatch>(*this, std::move(escape));
    if (m_watches.isEmpty()) {
        refreshKeys();
        select(true);
    }
    m_watches.append(watch.get());
    return watch;
}

void EscapeKeys::select(bool on) {
    if (!m_x->usable())
        return;
    struct {
        xcb_input_event_mask_t head;
        quint32 bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, on ? quint32(XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS) : 0u};
    xcb_input_xi_select_events(m_x->get(), m_x->root(), 1, &mask.head);
    xcb_flush(m_x->get());
}

void EscapeKeys::refreshKeys() {
    xcb_connection_t* c = m_x->get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const auto mapping = own(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    m_x->scheduleDrain();
    m_keys.clear();
    if (!mapping || !mapping->keysyms_per_keycode)
        return;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    // The server says how many it sent; a shorter answer than asked for is read only that far.
    const int sent = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    const int per = mapping->keysyms_per_keycode;
    for (int i = 0; i < count && i * per < sent; ++i) {
        if (keysyms[i * per] == escapeKeysym)
            m_keys.append(quint8(setup->min_keycode + i));
    }
}

void EscapeKeys::handle(const xcb_generic_event_t& event) {
    const quint8 type = event.response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        if (!m_watches.isEmpty())
            refreshKeys();
        return;
    }
    if (type != XCB_GE_GENERIC || !m_rawKeys)
        return;
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (generic.extension != m_inputOpcode || generic.event_type != XCB_INPUT_RAW_KEY_PRESS)
        return;
    const auto& key = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
    if (!m_keys.contains(quint8(key.detail)))
        return;
    // A handler may end its own watch or another one.
    const QList<KeyWatch*> watches = m_watches;
    for (KeyWatch* watch : watches) {
        if (m_watches.contains(watch) && watch->escape)
            watch->escape();
    }
}

} // namespace platform::x11
