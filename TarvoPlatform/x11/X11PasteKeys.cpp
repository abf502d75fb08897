#include "X11PasteKeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <vector>

namespace tarvo {

X11PasteKeys::X11PasteKeys(QByteArray displayName) : m_displayName(std::move(displayName)) {}

X11PasteKeys::~X11PasteKeys() {
    if (m_display)
        XCloseDisplay(m_display);
}

bool X11PasteKeys::connect() {
    if (m_tried)
        return m_display && m_hasXTest;
    m_tried = true;
    m_display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (!m_display)
        return false;
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    m_hasXTest = XTestQueryExtension(m_display, &event, &error, &major, &minor);
    return m_hasXTest;
}

bool X11PasteKeys::canSynthesize() {
    return connect();
}

bool X11PasteKeys::focusIsIn(unsigned long window) {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    // PointerRoot: keys go to whatever window is under the pointer.
    if (window == 0 || focus == None || focus == PointerRoot)
        return false;
    Window current = focus;
    while (current != None) {
        if (current == window)
            return true;
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, current, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        if (current == root)
            return false;
        current = parent;
    }
    return false;
}

bool X11PasteKeys::postPaste(bool terminal, quint64 window) {
    if (!connect())
        return false;
    const KeyCode v = XKeysymToKeycode(m_display, XK_v);
    const KeyCode control = XKeysymToKeycode(m_display, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(m_display, XK_Shift_L);
    if (v == 0 || control == 0 || (terminal && shift == 0))
        return false;
    if (!focusIsIn(static_cast<unsigned long>(window)))
        return false;

    // Whatever modifier the user still holds would change the shortcut: let
    // go of every key the modifier map names that is down now, and press
    // them again afterwards, since the user's fingers are still on them.
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    std::vector<KeyCode> held;
    if (XModifierKeymap* map = XGetModifierMapping(m_display)) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            const KeyCode code = map->modifiermap[i];
            if (code != 0 && (keys[code / 8] & (1 << (code % 8))) &&
                std::find(held.begin(), held.end(), code) == held.end())
                held.push_back(code);
        }
        XFreeModifiermap(map);
    }
    for (const KeyCode code : held)
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    XTestFakeKeyEvent(m_display, control, True, CurrentTime);
    if (terminal)
        XTestFakeKeyEvent(m_display, shift, True, CurrentTime);
    XTestFakeKeyEvent(m_display, v, True, CurrentTime);
    XTestFakeKeyEvent(m_display, v, False, CurrentTime);
    if (terminal)
        XTestFakeKeyEvent(m_display, shift, False, CurrentTime);
    XTestFakeKeyEvent(m_display, control, False, CurrentTime);
    for (const KeyCode code : held)
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    XSync(m_display, False);
    return true;
}

} // namespace tarvo
