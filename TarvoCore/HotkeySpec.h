#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tarvo {

// The global hotkey: a virtual key code and the modifier-flag bits that must be
// held, in the vocabulary the rest of the system speaks (Option-Space is key
// code 49 with 0x80000). The platform layer translates both to X11 once.
struct HotkeySpec {
    // Modifier-flag bits.
    static constexpr quint64 shift = 0x20000;
    static constexpr quint64 control = 0x40000;
    static constexpr quint64 option = 0x80000;
    static constexpr quint64 command = 0x100000;

    static constexpr quint16 spaceKeyCode = 49;

    quint16 keyCode = 0;
    quint64 modifierFlags = 0;

    // Option-Space, the hotkey when the user has stored none.
    static constexpr HotkeySpec defaultSpec() { return {spaceKeyCode, option}; }

    // {"keyCode":49,"modifierFlags":524288}
    QByteArray toJsonData() const;
    // Both members are required and must fit their fields; anything else throws
    // json::DecodingError.
    static HotkeySpec fromJsonData(const QByteArray& data);

    bool operator==(const HotkeySpec&) const = default;
};

} // namespace tarvo
