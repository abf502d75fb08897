#include "HotkeyKeys.h"

namespace tarvo::HotkeyKeys {

namespace {

constexpr Key kKeys[] = {
    {0, 0x61, "A"},          {1, 0x73, "S"},         {2, 0x64, "D"},
    {3, 0x66, "F"},          {4, 0x68, "H"},         {5, 0x67, "G"},
    {6, 0x7a, "Z"},          {7, 0x78, "X"},         {8, 0x63, "C"},
    {9, 0x76, "V"},          {11, 0x62, "B"},        {12, 0x71, "Q"},
    {13, 0x77, "W"},         {14, 0x65, "E"},        {15, 0x72, "R"},
    {16, 0x79, "Y"},         {17, 0x74, "T"},        {18, 0x31, "1"},
    {19, 0x32, "2"},         {20, 0x33, "3"},        {21, 0x34, "4"},
    {22, 0x36, "6"},         {23, 0x35, "5"},        {24, 0x3d, "="},
    {25, 0x39, "9"},         {26, 0x37, "7"},        {27, 0x2d, "-"},
    {28, 0x38, "8"},         {29, 0x30, "0"},        {30, 0x5d, "]"},
    {31, 0x6f, "O"},         {32, 0x75, "U"},        {33, 0x5b, "["},
    {34, 0x69, "I"},         {35, 0x70, "P"},        {36, 0xff0d, "Return"},
    {37, 0x6c, "L"},         {38, 0x6a, "J"},        {39, 0x27, "'"},
    {40, 0x6b, "K"},         {41, 0x3b, ";"},        {42, 0x5c, "\\"},
    {43, 0x2c, ","},         {44, 0x2f, "/"},        {45, 0x6e, "N"},
    {46, 0x6d, "M"},         {47, 0x2e, "."},        {48, 0xff09, "Tab"},
    {49, 0x20, "Space"},     {50, 0x60, "`"},        {51, 0xff08, "Backspace"},
    {53, 0xff1b, "Escape"},  {96, 0xffc2, "F5"},     {97, 0xffc3, "F6"},
    {98, 0xffc4, "F7"},      {99, 0xffc0, "F3"},     {100, 0xffc5, "F8"},
    {101, 0xffc6, "F9"},     {103, 0xffc8, "F11"},   {109, 0xffc7, "F10"},
    {111, 0xffc9, "F12"},    {118, 0xffc1, "F4"},    {120, 0xffbf, "F2"},
    {122, 0xffbe, "F1"},     {115, 0xff50, "Home"},  {116, 0xff55, "Page Up"},
    {117, 0xffff, "Delete"}, {119, 0xff57, "End"},   {121, 0xff56, "Page Down"},
    {123, 0xff51, "Left"},   {124, 0xff53, "Right"}, {125, 0xff54, "Down"},
    {126, 0xff52, "Up"},
};

// The core protocol's masks: Shift, Control, Mod1 (Alt) and Mod4 (Super).
constexpr Modifier kModifiers[] = {
    {HotkeySpec::command, Qt::ControlModifier, 0x04, "Ctrl"},
    {HotkeySpec::option, Qt::AltModifier, 0x08, "Alt"},
    {HotkeySpec::shift, Qt::ShiftModifier, 0x01, "Shift"},
    {HotkeySpec::control, Qt::MetaModifier, 0x40, "Super"},
};

} // namespace

std::span<const Modifier> modifiers() {
    return kModifiers;
}

quint64 flags(Qt::KeyboardModifiers pressed) {
    quint64 out = 0;
    for (const Modifier& m : kModifiers) {
        if (pressed & m.qt)
            out |= m.flag;
    }
    return out;
}

quint16 xMask(quint64 flags) {
    quint16 out = 0;
    for (const Modifier& m : kModifiers) {
        if (flags & m.flag)
            out |= m.xMask;
    }
    return out;
}

QStringList modifierNames(quint64 flags) {
    QStringList out;
    for (const Modifier& m : kModifiers) {
        if (flags & m.flag)
            out << QString::fromLatin1(m.name);
    }
    return out;
}

std::optional<Key> key(quint16 keyCode) {
    for (const Key& k : kKeys) {
        if (k.keyCode == keyCode)
            return k;
    }
    return std::nullopt;
}

QStringList keycaps(const HotkeySpec& spec) {
    QStringList parts = modifierNames(spec.modifierFlags);
    const auto found = key(spec.keyCode);
    parts << (found ? QString::fromLatin1(found->name) : QStringLiteral("#%1").arg(spec.keyCode));
    return parts;
}

QString text(const HotkeySpec& spec) {
    return keycaps(spec).join(u'+');
}

} // namespace tarvo::HotkeyKeys
