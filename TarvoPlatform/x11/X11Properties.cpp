#include "X11Properties.h"
#include "X11Reply.h"

#include <QList>

#include <cstring>
#include <memory>

namespace tarvo::X11Properties {

xcb_get_property_cookie_t request(xcb_connection_t* connection, xcb_window_t window,
                                  xcb_atom_t property, xcb_atom_t type, quint32 longs) {
    return xcb_get_property(connection, 0, window, property, type, 0, longs);
}

std::optional<Value> take(xcb_connection_t* connection, xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    const X11Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection, cookie, &error));
    ownReply(error);
    if (!reply || reply->type == XCB_NONE)
        return std::nullopt;
    Value value;
    value.type = reply->type;
    value.format = reply->format;
    const int length = xcb_get_property_value_length(reply.get());
    value.bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    return value;
}

std::vector<quint32> cardinals(const std::optional<Value>& value) {
    std::vector<quint32> items;
    if (!value || value->format != 32)
        return items;
    items.resize(static_cast<std::size_t>(value->bytes.size()) / sizeof(quint32));
    if (!items.empty())
        std::memcpy(items.data(), value->bytes.constData(), items.size() * sizeof(quint32));
    return items;
}

std::optional<quint32> firstCardinal(const std::optional<Value>& value) {
    const std::vector<quint32> items = cardinals(value);
    if (items.empty())
        return std::nullopt;
    return items.front();
}

std::vector<QByteArray> texts(const std::optional<Value>& value) {
    std::vector<QByteArray> items;
    if (!value || value->format != 8)
        return items;
    for (const QByteArray& part : value->bytes.split('\0'))
        items.push_back(part);
    // A terminating NUL leaves an empty last part that is no text.
    if (!items.empty() && items.back().isEmpty() && value->bytes.endsWith('\0'))
        items.pop_back();
    return items;
}

} // namespace tarvo::X11Properties
