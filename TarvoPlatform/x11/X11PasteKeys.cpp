#include "X11PasteKeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

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

bool X11PasteKeys::postPaste(bool terminal) {
    if (!connect())
        return false;
    const KeyCode v = XKeysymToKeycode(m_display, XK_v);
    const KeyCode control = XKeysymToKeycode(m_display, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(m_display, XK_Shift_L);
    if (v == 0 || control == 0 || (terminal && shift == 0))
        return false;

    // Whatever modifier the user still holds would change the shortcut: let
    // go of every key the modifier map names that is down now.
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    if (XModifierKeymap* map = XGetModifierMapping(m_display)) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            const KeyCode code = map->modifiermap[i];
            if (code != 0 && (keys[code / 8] & (1 << (code % 8))))
                XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        }
        XFreeModifiermap(map);
    }
    XTestFakeKeyEvent(m_display, control, True, CurrentTime);
    if (terminal)
        XTestFakeKeyEvent(m_display, shift, True, CurrentTime);
    XTestFakeKeyEvent(m_display, v, True, CurrentTime);
    XTestFakeKeyEvent(m_display, v, False, CurrentTime);
    if (terminal)
        XTestFakeKeyEvent(m_display, shift, False, CurrentTime);
    XTestFakeKeyEvent(m_display, control, False, CurrentTime);
    XSync(m_display, False);
    return true;
}

} // namespace tarvo
