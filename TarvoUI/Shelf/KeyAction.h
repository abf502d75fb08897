#pragma once

#include <QPoint>
#include <QString>
#include <QtGlobal>

class QKeyEvent;
class QWheelEvent;

namespace tarvo {

// What a key press on the shelf asks for.
enum class KeyAction {
    moveLeft,
    moveRight,
    copy,
    open,
    quickLook,
    remove,
    escape,
    undo,
    paste,
    none
};

namespace KeyActions {

// The key codes the table counts in, and what a Linux key press becomes.
inline constexpr quint16 returnKey = 36;
inline constexpr quint16 spaceKey = 49;
inline constexpr quint16 deleteKey = 51;
inline constexpr quint16 escapeKey = 53;
inline constexpr quint16 forwardDeleteKey = 117;
inline constexpr quint16 leftArrowKey = 123;
inline constexpr quint16 rightArrowKey = 124;
// Any key the table does not name.
inline constexpr quint16 otherKey = 0xffff;

// The table itself: `modifiers` are the flags of InputState.h (command,
// option, shift, control), `characters` the key's text without modifiers.
KeyAction action(quint16 keyCode, const QString& characters, quint64 modifiers);

// A Qt key as the table's key code: Return and Enter are Return, Backspace
// is Delete and Delete is Forward Delete.
quint16 keyCode(int qtKey);
// The flags of a press: Ctrl counts as command, Alt as option, Shift as
// shift and the Super key as control; Caps Lock and Num Lock count for
// nothing, so they never change what a shortcut means.
quint64 modifierFlags(Qt::KeyboardModifiers modifiers);
// The key's character as an unshifted key would type it, lower case for
// letters whatever Caps Lock or Shift did; empty for keys without one.
QString characters(const QKeyEvent& event);
KeyAction forEvent(const QKeyEvent& event);

// How far one line of scrolling moves, in points: a wheel notch (120 units
// of angle delta) moves one line; touchpads report points of their own.
inline constexpr double lineStep = 10.0;
// A wheel event's movement in points, horizontal and vertical added, with
// positive values meaning the content moves right or down as Qt counts.
double scrollDelta(const QWheelEvent& event);
double scrollDelta(QPoint angleDelta, QPoint pixelDelta);

} // namespace KeyActions

} // namespace tarvo
