#pragma once

#include <Qt>
#include <QtGlobal>

// The one place where Qt's keyboard modifiers become the flags the rest of
// the code counts in (InputState.h): Shift stays Shift, Ctrl stands for
// command and Alt for option; Meta counts for nothing, as in X11Input.
namespace tarvo::QtModifiers {

quint64 modifierFlags(Qt::KeyboardModifiers modifiers);

} // namespace tarvo::QtModifiers
