#pragma once

#include <QPointF>
#include <QtGlobal>

namespace tarvo {

// Modifier flags in the values the rest of the code counts in. On this
// desktop Ctrl stands for command and Alt for option.
namespace ModifierFlag {
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 option = 0x80000;
inline constexpr quint64 command = 0x100000;
} // namespace ModifierFlag

// The keyboard and pointer as they are now, not as some event saw them.
class InputState {
public:
    virtual ~InputState() = default;
    virtual quint64 modifierFlags() const = 0;
    // Global screen coordinates in points, origin at the bottom left of the
    // main screen, y upwards.
    virtual QPointF mouseLocation() const = 0;
};

} // namespace tarvo
