#pragma once

#include "TarvoPlatform/InputState.h"

namespace tarvo {

// Keyboard and pointer as the test sets them.
class MemoryInputState final : public InputState {
public:
    quint64 modifierFlags() const override { return m_flags; }
    QPointF mouseLocation() const override { return m_location; }

    void setModifierFlags(quint64 flags) { m_flags = flags; }
    void setMouseLocation(QPointF location) { m_location = location; }

private:
    quint64 m_flags = 0;
    QPointF m_location;
};

} // namespace tarvo
