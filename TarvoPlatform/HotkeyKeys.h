#pragma once

#include "TarvoCore/HotkeySpec.h"

#include <QString>

#include <optional>

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

// "Ctrl+Alt+Shift+Super+Space": command is Ctrl, option Alt, control Super,
// as everywhere on this desktop.
QString text(const HotkeySpec& spec);

} // namespace tarvo::HotkeyKeys
