#include "X11Platform.h"

namespace tarvo {

std::unique_ptr<X11Platform> X11Platform::open(const QByteArray& displayName) {
    std::unique_ptr<X11Connection> connection = X11Connection::open(displayName);
    if (!connection)
        return nullptr;
    return std::unique_ptr<X11Platform>(new X11Platform(std::move(connection)));
}

X11Platform::X11Platform(std::unique_ptr<X11Connection> connection)
    : m_connection(std::move(connection)), m_dragPasteboard(*m_connection),
      m_eventMonitors(*m_connection), m_inputState(*m_connection), m_directSave(*m_connection) {}

} // namespace tarvo
