#pragma once

#include "X11Connection.h"
#include "X11DirectSave.h"
#include "X11DragPasteboard.h"
#include "X11EventMonitors.h"
#include "X11InputState.h"

#include <memory>

namespace tarvo {

// Every X11 backend over one connection of our own. Main thread only; made
// after the Qt application object.
class X11Platform final {
public:
    // None when the display cannot be reached.
    static std::unique_ptr<X11Platform> open(const QByteArray& displayName = {});

    X11Connection& connection() { return *m_connection; }
    X11DragPasteboard& dragPasteboard() { return m_dragPasteboard; }
    X11EventMonitors& eventMonitors() { return m_eventMonitors; }
    X11InputState& inputState() { return m_inputState; }
    X11DirectSave& dropPromises() { return m_directSave; }

private:
    explicit X11Platform(std::unique_ptr<X11Connection> connection);

    std::unique_ptr<X11Connection> m_connection;
    X11DragPasteboard m_dragPasteboard;
    X11EventMonitors m_eventMonitors;
    X11InputState m_inputState;
    X11DirectSave m_directSave;
};

} // namespace tarvo
