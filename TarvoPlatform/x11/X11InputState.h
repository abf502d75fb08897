#pragma once

#include "TarvoPlatform/InputState.h"

namespace tarvo {

class X11Connection;

// The keyboard and pointer as the X server has them now.
class X11InputState final : public InputState {
public:
    explicit X11InputState(X11Connection& connection) : m_connection(connection) {}
    quint64 modifierFlags() const override;
    QPointF mouseLocation() const override;

private:
    X11Connection& m_connection;
};

} // namespace tarvo
