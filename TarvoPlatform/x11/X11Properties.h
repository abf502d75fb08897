#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <xcb/xcb.h>

#include <optional>
#include <vector>

// Reading the properties of other clients' windows. Requests are sent first
// and their replies collected later, so that many questions share one round
// trip: keep the cookie, ask the next, then take each reply in turn.
namespace tarvo::X11Properties {

xcb_get_property_cookie_t request(xcb_connection_t* connection, xcb_window_t window,
                                  xcb_atom_t property, xcb_atom_t type, quint32 longs);

struct Value {
    xcb_atom_t type = XCB_NONE;
    quint8 format = 0;
    QByteArray bytes;
};

// None when the property is not set (or the window is gone).
std::optional<Value> take(xcb_connection_t* connection, xcb_get_property_cookie_t cookie);

// The 32-bit items of a format-32 value (cardinals, atoms, windows).
std::vector<quint32> cardinals(const std::optional<Value>& value);
std::optional<quint32> firstCardinal(const std::optional<Value>& value);
// The NUL-separated texts of a text value; WM_CLASS gives instance, class.
std::vector<QByteArray> texts(const std::optional<Value>& value);

} // namespace tarvo::X11Properties
