#include "X11HotkeyGrabber.h"

#include "TarvoPlatform/HotkeyKeys.h"
#include "X11Properties.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <memory>

namespace tarvo {

namespace {

constexpr quint16 kRelevantMask =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, quint16(qstrlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &free);
    return reply ? reply->atom : XCB_NONE;
}

} // namespace

X11HotkeyGrabber::X11HotkeyGrabber() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    m_connection = x11->connection();
    m_display = x11->display();
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    m_root = xcb_setup_roots_iterator(setup).data->root;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyGrabber::~X11HotkeyGrabber() {
    ungrab();
    if (m_connection && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

quint16 X11HotkeyGrabber::modifierMask(quint64 flags) {
    quint16 mask = 0;
    if (flags & HotkeySpec::shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (flags & HotkeySpec::command)
        mask |= XCB_MOD_MASK_CONTROL;
    if (flags & HotkeySpec::option)
        mask |= XCB_MOD_MASK_1;
    if (flags & HotkeySpec::control)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

std::vector<quint16> X11HotkeyGrabber::lockVariants(quint16 numLock) {
    std::vector<quint16> variants{0, XCB_MOD_MASK_LOCK};
    if (numLock != 0 && numLock != XCB_MOD_MASK_LOCK) {
        variants.push_back(numLock);
        variants.push_back(quint16(numLock | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

quint16 X11HotkeyGrabber::numLockMask() const {
    if (!m_display)
        return 0;
    const KeyCode numLock = XKeysymToKeycode(m_display, XK_Num_Lock);
    if (numLock == 0)
        return 0;
    XModifierKeymap* map = XGetModifierMapping(m_display);
    if (!map)
        return 0;
    quint16 mask = 0;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (map->modifiermap[modifier * map->max_keypermod + i] == numLock)
                mask = quint16(1u << modifier);
        }
    }
    XFreeModifiermap(map);
    return mask;
}

QString X11HotkeyGrabber::windowManagerName() const {
    const xcb_atom_t check = internAtom(m_connection, "_NET_SUPPORTING_WM_CHECK");
    const xcb_atom_t name = internAtom(m_connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = internAtom(m_connection, "UTF8_STRING");
    const auto window = X11Properties::firstCardinal(X11Properties::take(
        m_connection, X11Properties::request(m_connection, m_root, check, XCB_ATOM_WINDOW, 1)));
    if (!window)
        return {};
    const auto texts = X11Properties::texts(X11Properties::take(
        m_connection, X11Properties::request(m_connection, *window, name, utf8, 64)));
    return texts.empty() ? QString() : QString::fromUtf8(texts.front());
}

std::optional<HotkeyFailure> X11HotkeyGrabber::grab(const HotkeySpec& spec,
                                                    std::function<void()> pressed) {
    ungrab();
    if (!m_connection)
        return HotkeyFailure{HotkeyFailure::Kind::noDisplay, 0, {}};
    const auto key = HotkeyKeys::key(spec.keyCode);
    const KeyCode keycode = key ? XKeysymToKeycode(m_display, key->keysym) : 0;
    if (keycode == 0)
        return HotkeyFailure{HotkeyFailure::Kind::unknownKey, 0, {}};

    const quint16 modifiers = modifierMask(spec.modifierFlags);
    const auto variants = lockVariants(numLockMask());
    std::vector<xcb_void_cookie_t> cookies;
    for (const quint16 variant : variants)
        cookies.push_back(xcb_grab_key_checked(m_connection, 1, m_root,
                                               quint16(modifiers | variant), keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    // The server answers a refused grab with an error, never a reply: each
    // check waits for it, so a refusal is known before success is reported.
    int status = 0;
    for (const auto& cookie : cookies) {
        std::unique_ptr<xcb_generic_error_t, decltype(&free)> error(
            xcb_request_check(m_connection, cookie), &free);
        if (error && status == 0)
            status = error->error_code;
    }
    if (status != 0) {
        for (const quint16 variant : variants)
            xcb_ungrab_key(m_connection, keycode, m_root, quint16(modifiers | variant));
        xcb_flush(m_connection);
        HotkeyFailure failure{HotkeyFailure::Kind::taken, status, {}};
        // Alt+Space opens the window menu of most window managers.
        if (spec.keyCode == HotkeySpec::spaceKeyCode && modifiers == XCB_MOD_MASK_1)
            failure.windowManager = windowManagerName();
        return failure;
    }
    m_keycode = keycode;
    m_modifiers = modifiers;
    m_grabbedMasks.clear();
    for (const quint16 variant : variants)
        m_grabbedMasks.push_back(quint16(modifiers | variant));
    m_pressed = std::move(pressed);
    m_down = false;
    return std::nullopt;
}

void X11HotkeyGrabber::ungrab() {
    if (m_connection && m_keycode != 0) {
        for (const quint16 mask : m_grabbedMasks)
            xcb_ungrab_key(m_connection, m_keycode, m_root, mask);
        xcb_flush(m_connection);
    }
    m_grabbedMasks.clear();
    m_keycode = 0;
    m_modifiers = 0;
    m_pressed = nullptr;
    m_down = false;
}

bool X11HotkeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (m_keycode == 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->detail != m_keycode || key->event != m_root)
        return false;
    // The modifiers may be let go first: any release of the key ends a press.
    if (type == XCB_KEY_RELEASE) {
        const bool ours = m_down;
        m_down = false;
        return ours;
    }
    if ((key->state & kRelevantMask) != m_modifiers)
        return false;
    // A held key repeats its press: the shortcut acts once per press.
    if (m_down)
        return true;
    m_down = true;
    if (auto pressed = m_pressed)
        pressed();
    return true;
}

} // namespace tarvo
