#include "KeyAction.h"

#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/QtModifiers.h"

#include <QKeyEvent>
#include <QWheelEvent>

namespace tarvo::KeyActions {

KeyAction action(quint16 keyCode, const QString& characters, quint64 modifiers) {
    switch (keyCode) {
    case returnKey:
        return (modifiers & ModifierFlag::command) ? KeyAction::open : KeyAction::copy;
    case spaceKey:
        return KeyAction::quickLook;
    case deleteKey:
    case forwardDeleteKey:
        return KeyAction::remove;
    case escapeKey:
        return KeyAction::escape;
    case leftArrowKey:
        return KeyAction::moveLeft;
    case rightArrowKey:
        return KeyAction::moveRight;
    default:
        break;
    }
    if (modifiers != ModifierFlag::command)
        return KeyAction::none;
    const QString lower = characters.toLower();
    if (lower == QLatin1String("z"))
        return KeyAction::undo;
    if (lower == QLatin1String("v"))
        return KeyAction::paste;
    return KeyAction::none;
}

quint16 keyCode(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return returnKey;
    case Qt::Key_Space:
        return spaceKey;
    case Qt::Key_Backspace:
        return deleteKey;
    case Qt::Key_Delete:
        return forwardDeleteKey;
    case Qt::Key_Escape:
        return escapeKey;
    case Qt::Key_Left:
        return leftArrowKey;
    case Qt::Key_Right:
        return rightArrowKey;
    default:
        return otherKey;
    }
}

quint64 modifierFlags(Qt::KeyboardModifiers modifiers) {
    // The shelf's own keys also tell Meta apart, as control.
    quint64 flags = QtModifiers::modifierFlags(modifiers);
    if (modifiers & Qt::MetaModifier)
        flags |= ModifierFlag::control;
    return flags;
}

QString characters(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return QString(QChar(u'a' + (key - Qt::Key_A)));
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        return QString(QChar(key)).toLower();
    // Held Ctrl turns a letter's text into a control character; anything
    // else keeps its text.
    const QString text = event.text();
    if (text.size() == 1 && text.at(0).unicode() < 0x20)
        return {};
    return text.toLower();
}

KeyAction forEvent(const QKeyEvent& event) {
    return action(keyCode(event.key()), characters(event), modifierFlags(event.modifiers()));
}

double scrollDelta(QPoint angleDelta, QPoint pixelDelta) {
    if (!pixelDelta.isNull())
        return double(pixelDelta.x()) + double(pixelDelta.y());
    return (double(angleDelta.x()) + double(angleDelta.y())) / 120.0 * lineStep;
}

double scrollDelta(const QWheelEvent& event) {
    return scrollDelta(event.angleDelta(), event.pixelDelta());
}

} // namespace tarvo::KeyActions
