#include "platform/FrameFlipping.h"
#include "platform/linux/XcbReply.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

namespace platform {

namespace x11 {

namespace {

// The frames live in a pixmap on the X server; a step is one copy into the window. Drawn through
// the toolkit's own connection, so that a copy never overtakes the toolkit's flush of the same spot.
class XcbFrameFlipper final : public FrameFlipper {
public:
    XcbFrameFlipper(xcb_connection_t* connection, xcb_window_t window, xcb_pixmap_t pixmap, xcb_gcontext_t gc,
                    QSize frame)
        : m_connection(connection), m_window(window), m_pixmap(pixmap), m_gc(gc), m_frame(frame) {}

    ~XcbFrameFlipper() override {
        xcb_free_gc(m_connection, m_gc);
        xcb_free_pixmap(m_connection, m_pixmap);
        xcb_flush(m_connection);
    }

    void show(int index, QPoint at, const QRegion& visible) override {
        if (visible != m_clip) {
            std::vector<xcb_rectangle_t> rectangles;
            for (const QRect& rect : visible)
                rectangles.push_back(
                    {int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height())});
            xcb_set_clip_rectangles(m_connection, XCB_CLIP_ORDERING_UNSORTED, m_gc, 0, 0,
                                    uint32_t(rectangles.size()), rectangles.data());
            m_clip = visible;
        }
        xcb_copy_area(m_connection, m_pixmap, m_window, m_gc, int16_t(index * m_frame.width()), 0,
                      int16_t(at.x()), int16_t(at.y()), uint16_t(m_frame.width()),
                      uint16_t(m_frame.height()));
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window;
    xcb_pixmap_t m_pixmap;
    xcb_gcontext_t m_gc;
    QSize m_frame;
    QRegion m_clip;
};

// Whether the window's pixels are 32-bit xRGB words, as QImage::Format_RGB32 lays them out.
bool takesRgb32(xcb_connection_t* connection, xcb_window_t window) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (setup->image_byte_order != (QSysInfo::ByteOrder == QSysInfo::LittleEndian
                                        ? XCB_IMAGE_ORDER_LSB_FIRST
                                        : XCB_IMAGE_ORDER_MSB_FIRST))
        return false;
    const auto attributes = own(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
    const auto geometry =
        own(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
    if (!attributes || !geometry || geometry->depth != 24)
        return false;
    bool bits32 = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats))
        if (formats.data->depth == 24)
            bits32 = formats.data->bits_per_pixel == 32;
    if (!bits32)
        return false;
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens))
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem;
             xcb_depth_next(&depths))
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
                 xcb_visualtype_next(&visuals))
                if (visuals.data->visual_id == attributes->visual)
                    return visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                           visuals.data->red_mask == 0xff0000 && visuals.data->green_mask == 0xff00 &&
                           visuals.data->blue_mask == 0xff;
    return false;
}

std::unique_ptr<FrameFlipper> flipFrames(QWindow& window, const QImage& strip, int frames) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr; // none off X11 (offscreen…)
    if (!connection || frames <= 0 || strip.isNull() || strip.width() % frames)
        return nullptr;
    const auto target = xcb_window_t(window.winId());
    const uint32_t maximum = xcb_get_maximum_request_length(connection) * 4;
    const QImage pixels = strip.convertToFormat(QImage::Format_RGB32);
    if (!takesRgb32(connection, target) || pixels.sizeInBytes() + 64 > qsizetype(maximum))
        return nullptr;
    const xcb_pixmap_t pixmap = xcb_generate_id(connection);
    xcb_create_pixmap(connection, 24, pixmap, target, uint16_t(pixels.width()), uint16_t(pixels.height()));
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    // No exposure events: every copy would otherwise wake the application once more.
    const uint32_t noExposures = 0;
    xcb_create_gc(connection, gc, pixmap, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(pixels.width()),
                  uint16_t(pixels.height()), 0, 0, 0, 24, uint32_t(pixels.sizeInBytes()), pixels.constBits());
    return std::make_unique<XcbFrameFlipper>(connection, target, pixmap, gc,
                                             QSize(pixels.width() / frames, pixels.height()));
}

} // namespace

} // namespace x11

FrameFlipperFactory createFrameFlipperFactory() {
    return &x11::flipFrames;
}

} // namespace platform
