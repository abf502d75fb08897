#include "QtModifiers.h"

#include "InputState.h"

namespace tarvo::QtModifiers {

quint64 modifierFlags(Qt::KeyboardModifiers modifiers) {
    quint64 flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= ModifierFlag::shift;
    if (modifiers & Qt::ControlModifier)
        flags |= ModifierFlag::command;
    if (modifiers & Qt::AltModifier)
        flags |= ModifierFlag::option;
    return flags;
}

} // namespace tarvo::QtModifiers
