#include "X11PasteKeys.h"

#include "X11Connection.h"
#include "X11Reply.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace tarvo {

namespace {

constexpr xcb_keysym_t keysymV = 0x0076;
constexpr xcb_keysym_t keysymControlL = 0xffe3;
constexpr xcb_keysym_t keysymShiftL = 0xffe1;

// The first key code of the keyboard map that carries each keysym; 0 for
// one no key carries.
template <std::size_t N>
std::array<xcb_keycode_t, N> keycodesFor(xcb_connection_t* c,
                                         const std::array<xcb_keysym_t, N>& keysyms) {
    std::array<xcb_keycode_t, N> codes{};
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_keycode_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto map = ownReply(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, first, static_cast<quint8>(count)), nullptr));
    if (!map || map->keysyms_per_keycode == 0)
        return codes;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int perCode = map->keysyms_per_keycode;
    const int total = xcb_get_keyboard_mapping_keysyms_length(map.get());
    for (std::size_t k = 0; k < N; ++k) {
        for (int i = 0; i < total && codes[k] == 0; ++i)
            if (syms[i] == keysyms[k])
                codes[k] = static_cast<xcb_keycode_t>(first + i / perCode);
    }
    return codes;
}

} // namespace

X11PasteKeys::X11PasteKeys(X11Connection& connection) : m_connection(connection) {}

bool X11PasteKeys::canSynthesize() {
    const xcb_query_extension_reply_t* xtest =
        xcb_get_extension_data(m_connection.get(), &xcb_test_id);
    return xtest && xtest->present;
}

bool X11PasteKeys::focusIsIn(xcb_window_t window) {
    xcb_connection_t* c = m_connection.get();
    auto focus = ownReply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    // PointerRoot: keys go to whatever window is under the pointer.
    if (window == XCB_NONE || !focus || focus->focus == XCB_NONE ||
        focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT)
        return false;
    xcb_window_t current = focus->focus;
    while (current != XCB_NONE) {
        if (current == window)
            return true;
        auto tree = ownReply(xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr));
        if (!tree || current == tree->root)
            return false;
        current = tree->parent;
    }
    return false;
}

void X11PasteKeys::fake(quint8 type, xcb_keycode_t code) {
    xcb_test_fake_input(m_connection.get(), type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

bool X11PasteKeys::postPaste(bool terminal, quint64 window) {
    if (!canSynthesize())
        return false;
    xcb_connection_t* c = m_connection.get();
    const auto [v, control, shift] = keycodesFor<3>(c, {keysymV, keysymControlL, keysymShiftL});
    if (v == 0 || control == 0 || (terminal && shift == 0))
        return false;
    const bool focused = focusIsIn(static_cast<xcb_window_t>(window));
    m_connection.scheduleDrain();
    if (!focused)
        return false;

    // Whatever modifier the user still holds would change the shortcut: let
    // go of every key the modifier map names that is down now, and press
    // them again afterwards, since the user's fingers are still on them.
    const auto keymapCookie = xcb_query_keymap(c);
    const auto modifiersCookie = xcb_get_modifier_mapping(c);
    auto keymap = ownReply(xcb_query_keymap_reply(c, keymapCookie, nullptr));
    auto modifiers = ownReply(xcb_get_modifier_mapping_reply(c, modifiersCookie, nullptr));
    std::vector<xcb_keycode_t> held;
    if (keymap && modifiers) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
        const int count = xcb_get_modifier_mapping_keycodes_length(modifiers.get());
        for (int i = 0; i < count; ++i) {
            const xcb_keycode_t code = codes[i];
            if (code != 0 && (keymap->keys[code / 8] & (1 << (code % 8))) &&
                std::find(held.begin(), held.end(), code) == held.end())
                held.push_back(code);
        }
    }
    for (const xcb_keycode_t code : held)
        fake(XCB_KEY_RELEASE, code);
    fake(XCB_KEY_PRESS, control);
    if (terminal)
        fake(XCB_KEY_PRESS, shift);
    fake(XCB_KEY_PRESS, v);
    fake(XCB_KEY_RELEASE, v);
    if (terminal)
        fake(XCB_KEY_RELEASE, shift);
    fake(XCB_KEY_RELEASE, control);
    for (const xcb_keycode_t code : held)
        fake(XCB_KEY_PRESS, code);
    m_connection.sync();
    m_connection.scheduleDrain();
    return true;
}

} // namespace tarvo
