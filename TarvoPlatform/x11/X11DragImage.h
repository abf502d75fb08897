#pragma once

#include <QImage>
#include <QPoint>

#include <xcb/xcb.h>

namespace tarvo {

class X11Connection;

// The picture that follows the pointer during a drag out of the shelf: a
// small override-redirect window of ours that takes no input, so the window
// under the pointer is always the one beneath it. Main thread only.
class X11DragImage final {
public:
    // `image` in device pixels; a null image shows nothing.
    X11DragImage(X11Connection& connection, const QImage& image);
    ~X11DragImage();
    X11DragImage(const X11DragImage&) = delete;
    X11DragImage& operator=(const X11DragImage&) = delete;

    // Puts the picture's bottom-left corner beside the pointer at `root`.
    void follow(QPoint root);
    void hide();
    xcb_window_t window() const { return m_window; }

private:
    bool handle(const xcb_generic_event_t& event);
    void paint();

    X11Connection& m_connection;
    QImage m_image;
    xcb_window_t m_window = XCB_NONE;
    xcb_gcontext_t m_gc = XCB_NONE;
    int m_listener = 0;
    bool m_shown = false;
};

} // namespace tarvo
