#pragma once

#include "TarvoCore/HotkeySpec.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <span>

// The keys a global shortcut can use: the stored key codes (the numbering of
// the system's hotkey preference, Space is 49) with their X keysyms and the
// names people read.
namespace tarvo::HotkeyKeys {

struct Key {
    quint16 keyCode;
    quint32 keysym;
    const char* name;
};

std::optional<Key> key(quint16 keyCode);

// One modifier of a shortcut as every part of the program sees it: the
// stored flag, the key Qt reports while recording, the X modifier mask that
// is grabbed and the name people read. Command is Ctrl, option Alt and
// control Super, as everywhere on this desktop.
struct Modifier {
    quint64 flag;
    Qt::KeyboardModifier qt;
    quint16 xMask;
    const char* name;
};

// In the order they are written: Ctrl, Alt, Shift, Super.
std::span<const Modifier> modifiers();

// The stored flags of the modifiers Qt reports for a key press.
quint64 flags(Qt::KeyboardModifiers modifiers);
// The X modifier mask grabbed for the stored flags.
quint16 xMask(quint64 flags);
// The names of the modifiers present, in writing order.
QStringList modifierNames(quint64 flags);

// "Ctrl+Alt+Shift+Super+Space".
QString text(const HotkeySpec& spec);
// The same, one key a word, as keycaps are drawn: "Ctrl", "Space".
QStringList keycaps(const HotkeySpec& spec);

} // namespace tarvo::HotkeyKeys
