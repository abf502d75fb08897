#include "X11InputState.h"

#include "X11Connection.h"
#include "X11Input.h"
#include "X11Reply.h"

#include <QGuiApplication>
#include <QScreen>

namespace tarvo {

namespace {

struct Pointer {
    QPoint position;
    quint16 mask = 0;
};

Pointer queryPointer(X11Connection& connection) {
    const X11Reply<xcb_query_pointer_reply_t> reply(xcb_query_pointer_reply(
        connection.get(), xcb_query_pointer(connection.get(), connection.root()), nullptr));
    connection.scheduleDrain();
    Pointer pointer;
    if (reply) {
        pointer.position = QPoint(reply->root_x, reply->root_y);
        pointer.mask = reply->mask;
    }
    return pointer;
}

} // namespace

quint64 X11InputState::modifierFlags() const {
    return X11Input::modifierFlags(queryPointer(m_connection).mask);
}

QPointF X11InputState::mouseLocation() const {
    const QPoint native = queryPointer(m_connection).position;
    // Qt on X11 scales every screen alike; without a GUI the root window is
    // the whole picture.
    if (const QScreen* main = qGuiApp ? QGuiApplication::primaryScreen() : nullptr)
        return X11Input::screenPoint(native, main->devicePixelRatio(), main->geometry());
    const xcb_screen_t& screen = m_connection.screen();
    return X11Input::screenPoint(native, 1.0,
                                 QRect(0, 0, screen.width_in_pixels, screen.height_in_pixels));
}

} // namespace tarvo
