#include "X11DragImage.h"

#include "X11Connection.h"
#include "X11Reply.h"

#include <xcb/xfixes.h>

#include <algorithm>

namespace tarvo {

namespace {

// The largest picture drawn: thumbnails are far smaller, and a bigger one
// would not fit one request.
constexpr int maxSide = 256;
// The input shape kind of the shape extension, which XFixes sets for us.
constexpr quint8 inputShape = 2;

} // namespace

X11DragImage::X11DragImage(X11Connection& connection, const QImage& image)
    : m_connection(connection) {
    if (image.isNull())
        return;
    QImage scaled =
        image.width() > maxSide || image.height() > maxSide
            ? image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : image;
    // Without a compositor there is no transparency: the picture lies on
    // the dark of the shelf.
    QImage opaque(scaled.size(), QImage::Format_RGB32);
    opaque.fill(QColor(0x1c, 0x1c, 0x1e));
    for (int y = 0; y < scaled.height(); ++y) {
        for (int x = 0; x < scaled.width(); ++x) {
            const QColor over = scaled.pixelColor(x, y);
            const QColor under = opaque.pixelColor(x, y);
            const double a = over.alphaF();
            opaque.setPixelColor(x, y,
                                 QColor::fromRgbF(over.redF() * a + under.redF() * (1 - a),
                                                  over.greenF() * a + under.greenF() * (1 - a),
                                                  over.blueF() * a + under.blueF() * (1 - a)));
        }
    }
    m_image = opaque;

    xcb_connection_t* c = m_connection.get();
    const xcb_screen_t& screen = m_connection.screen();
    if (screen.root_depth != 24)
        return; // the picture is optional; other depths are not worth the code
    m_window = xcb_generate_id(c);
    const quint32 values[] = {screen.black_pixel, 1, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, screen.root, -1000, -1000,
                      static_cast<quint16>(m_image.width()), static_cast<quint16>(m_image.height()),
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen.root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    // No input at all: the pointer always falls through to what lies beneath.
    ownReply(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    const xcb_xfixes_region_t region = xcb_generate_id(c);
    xcb_xfixes_create_region(c, region, 0, nullptr);
    xcb_xfixes_set_window_shape_region(c, m_window, inputShape, 0, 0, region);
    xcb_xfixes_destroy_region(c, region);
    m_gc = xcb_generate_id(c);
    xcb_create_gc(c, m_gc, m_window, 0, nullptr);
    m_listener = m_connection.addListener(
        [this](const xcb_generic_event_t& event) { return handle(event); });
    m_connection.flush();
}

X11DragImage::~X11DragImage() {
    if (m_listener)
        m_connection.removeListener(m_listener);
    if (m_gc != XCB_NONE)
        xcb_free_gc(m_connection.get(), m_gc);
    if (m_window != XCB_NONE)
        xcb_destroy_window(m_connection.get(), m_window);
    m_connection.flush();
}

void X11DragImage::follow(QPoint root) {
    if (m_window == XCB_NONE)
        return;
    // The pointer sits just off the bottom-left corner, never on the picture.
    const qint32 values[] = {root.x() + 2, root.y() - m_image.height() - 2};
    xcb_configure_window(m_connection.get(), m_window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y,
                         reinterpret_cast<const quint32*>(values));
    if (!m_shown) {
        xcb_map_window(m_connection.get(), m_window);
        const quint32 above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_connection.get(), m_window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        m_shown = true;
    }
    m_connection.flush();
}

void X11DragImage::hide() {
    if (m_window == XCB_NONE || !m_shown)
        return;
    xcb_unmap_window(m_connection.get(), m_window);
    m_shown = false;
    m_connection.flush();
}

bool X11DragImage::handle(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) != XCB_EXPOSE)
        return false;
    const auto& expose = reinterpret_cast<const xcb_expose_event_t&>(event);
    if (expose.window != m_window)
        return false;
    if (expose.count == 0)
        paint();
    return true;
}

void X11DragImage::paint() {
    // 32 bits per pixel, blue first in memory: what RGB32 is on this machine.
    xcb_put_image(m_connection.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc,
                  static_cast<quint16>(m_image.width()), static_cast<quint16>(m_image.height()), 0,
                  0, 0, 24, static_cast<quint32>(m_image.sizeInBytes()), m_image.constBits());
    m_connection.flush();
}

} // namespace tarvo
