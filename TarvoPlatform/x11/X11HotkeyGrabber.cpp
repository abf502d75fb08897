#include "X11HotkeyGrabber.h"

#include "TarvoPlatform/HotkeyKeys.h"
#include "X11Connection.h"
#include "X11Properties.h"
#include "X11Reply.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include "TarvoCore/Log.h"

#include <X11/keysym.h>

#include <algorithm>
#include <memory>

namespace tarvo {

namespace {

constexpr quint16 kRelevantMask =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

// The keyboard extension's event kinds (its protocol's xkbType byte).
constexpr quint8 kXkbNewKeyboardNotify = 0;
constexpr quint8 kXkbMapNotify = 1;

} // namespace

X11HotkeyGrabber::X11HotkeyGrabber(X11Connection* atoms) : m_atoms(atoms) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    m_connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    m_root = xcb_setup_roots_iterator(setup).data->root;
    const char xkb[] = "XKEYBOARD";
    X11Reply<xcb_query_extension_reply_t> extension(xcb_query_extension_reply(
        m_connection, xcb_query_extension(m_connection, sizeof(xkb) - 1, xkb), nullptr));
    if (extension && extension->present)
        m_xkbEvent = extension->first_event;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyGrabber::~X11HotkeyGrabber() {
    ungrab();
    if (m_connection && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

quint16 X11HotkeyGrabber::modifierMask(quint64 flags) {
    return HotkeyKeys::xMask(flags);
}

std::vector<quint16> X11HotkeyGrabber::lockVariants(quint16 numLock, quint16 scrollLock) {
    // A lock that shares a bit with Lock, with the other lock or with a
    // modifier a shortcut can use adds no combination of its own.
    std::vector<quint16> locks{XCB_MOD_MASK_LOCK};
    for (const quint16 mask : {numLock, scrollLock}) {
        if (mask != 0 && !(mask & kRelevantMask) &&
            std::find(locks.begin(), locks.end(), mask) == locks.end())
            locks.push_back(mask);
    }
    std::vector<quint16> variants;
    for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
        quint16 variant = 0;
        for (size_t i = 0; i < locks.size(); ++i) {
            if (subset & (1u << i))
                variant |= locks[i];
        }
        variants.push_back(variant);
    }
    return variants;
}

X11HotkeyGrabber::Keyboard X11HotkeyGrabber::readKeyboard() const {
    Keyboard keyboard;
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const xcb_keycode_t first = setup->min_keycode;
    const auto count = quint8(setup->max_keycode - setup->min_keycode + 1);
    const auto keysCookie = xcb_get_keyboard_mapping(m_connection, first, count);
    const auto modifiersCookie = xcb_get_modifier_mapping(m_connection);
    X11Reply<xcb_get_keyboard_mapping_reply_t> keys(
        xcb_get_keyboard_mapping_reply(m_connection, keysCookie, nullptr));
    X11Reply<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(m_connection, modifiersCookie, nullptr));
    if (!keys || !modifiers)
        return keyboard;
    const int perCode = keys->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keys.get());
    const int symCount = xcb_get_keyboard_mapping_keysyms_length(keys.get());
    keyboard.keycodeOf = [first, perCode, table = std::vector<xcb_keysym_t>(syms, syms + symCount)](
                             xcb_keysym_t keysym) -> xcb_keycode_t {
        // Like the core library: the first column that has it, lowest key first.
        for (int column = 0; column < perCode; ++column) {
            for (int code = 0; code * perCode + column < int(table.size()); ++code) {
                if (table[size_t(code * perCode + column)] == keysym)
                    return xcb_keycode_t(first + code);
            }
        }
        return 0;
    };
    const auto hasKeysym = [&](xcb_keycode_t code, xcb_keysym_t keysym) {
        if (code < first || perCode == 0)
            return false;
        const int row = (code - first) * perCode;
        for (int column = 0; column < perCode && row + column < symCount; ++column) {
            if (syms[row + column] == keysym)
                return true;
        }
        return false;
    };
    const int perModifier = modifiers->keycodes_per_modifier;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (hasKeysym(code, XK_Num_Lock))
                keyboard.numLock |= quint16(1u << modifier);
            if (hasKeysym(code, XK_Scroll_Lock))
                keyboard.scrollLock |= quint16(1u << modifier);
        }
    }
    return keyboard;
}

xcb_atom_t X11HotkeyGrabber::atom(const char* name) const {
    if (!m_atoms) {
        // Atoms are the server's, so any connection to it can name them.
        m_ownAtoms = X11Connection::open();
        m_atoms = m_ownAtoms.get();
    }
    return m_atoms ? m_atoms->atom(name) : XCB_NONE;
}

QString X11HotkeyGrabber::windowManagerName() const {
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    const xcb_atom_t name = atom("_NET_WM_NAME");
    const xcb_atom_t utf8 = atom("UTF8_STRING");
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
    if (!m_connection)
        return HotkeyFailure{HotkeyFailure::Kind::noDisplay, 0, {}};
    const auto key = HotkeyKeys::key(spec.keyCode);
    if (!key)
        return HotkeyFailure{HotkeyFailure::Kind::unknownKey, 0, {}};
    const quint16 modifiers = modifierMask(spec.modifierFlags);
    const Keyboard keyboard = readKeyboard();
    const xcb_keycode_t keycode = keyboard.keycodeOf ? keyboard.keycodeOf(key->keysym) : 0;
    if (keycode == 0)
        return HotkeyFailure{HotkeyFailure::Kind::unknownKey, 0, {}};
    const int status =
        hold(keycode, modifiers, lockVariants(keyboard.numLock, keyboard.scrollLock));
    if (status != 0) {
        HotkeyFailure failure{HotkeyFailure::Kind::taken, status, {}};
        // Alt+Space opens the window menu of most window managers.
        if (spec.keyCode == HotkeySpec::spaceKeyCode && modifiers == XCB_MOD_MASK_1)
            failure.windowManager = windowManagerName();
        return failure;
    }
    m_keysym = key->keysym;
    m_pressed = std::move(pressed);
    m_down = false;
    return std::nullopt;
}

int X11HotkeyGrabber::hold(xcb_keycode_t keycode, quint16 modifiers,
                           const std::vector<quint16>& variants) {
    std::vector<quint16> masks;
    for (const quint16 variant : variants)
        masks.push_back(quint16(modifiers | variant));
    std::vector<xcb_void_cookie_t> cookies;
    for (const quint16 mask : masks)
        cookies.push_back(xcb_grab_key_checked(m_connection, 1, m_root, mask, keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    // The server answers a refused grab with an error, never a reply: each
    // check waits for it, so a refusal is known before success is reported.
    int status = 0;
    for (const auto& cookie : cookies) {
        X11Reply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
        if (error && status == 0)
            status = error->error_code;
    }
    const auto heldBefore = [&](quint16 mask) {
        return keycode == m_keycode && std::find(m_grabbedMasks.begin(), m_grabbedMasks.end(),
                                                 mask) != m_grabbedMasks.end();
    };
    if (status != 0) {
        // Undone, except what was already ours: the shortcut held so far stays.
        for (const quint16 mask : masks) {
            if (!heldBefore(mask))
                xcb_ungrab_key(m_connection, keycode, m_root, mask);
        }
        xcb_flush(m_connection);
        return status;
    }
    // The new combination is held: only now does the old one go, so the
    // shortcut is never free for another program to take.
    if (m_keycode != 0) {
        for (const quint16 mask : m_grabbedMasks) {
            if (keycode != m_keycode || std::find(masks.begin(), masks.end(), mask) == masks.end())
                xcb_ungrab_key(m_connection, m_keycode, m_root, mask);
        }
    }
    xcb_flush(m_connection);
    m_keycode = keycode;
    m_modifiers = modifiers;
    m_grabbedMasks = std::move(masks);
    return 0;
}

void X11HotkeyGrabber::keyboardChanged() {
    if (m_keycode == 0)
        return;
    const Keyboard keyboard = readKeyboard();
    const xcb_keycode_t keycode = keyboard.keycodeOf ? keyboard.keycodeOf(m_keysym) : 0;
    if (keycode == 0)
        return;
    std::vector<quint16> masks;
    for (const quint16 variant : lockVariants(keyboard.numLock, keyboard.scrollLock))
        masks.push_back(quint16(m_modifiers | variant));
    if (keycode == m_keycode && masks == m_grabbedMasks)
        return;
    if (const int status =
            hold(keycode, m_modifiers, lockVariants(keyboard.numLock, keyboard.scrollLock)))
        Log::ui().error(QStringLiteral("could not follow the new keyboard layout with the "
                                       "hotkey (status %1)")
                            .arg(status));
}

void X11HotkeyGrabber::ungrab() {
    if (m_connection && m_keycode != 0) {
        for (const quint16 mask : m_grabbedMasks)
            xcb_ungrab_key(m_connection, m_keycode, m_root, mask);
        xcb_flush(m_connection);
    }
    m_grabbedMasks.clear();
    m_keycode = 0;
    m_keysym = 0;
    m_modifiers = 0;
    m_pressed = nullptr;
    m_down = false;
}

bool X11HotkeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (m_keycode == 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;
    // Keys or modifiers mapped anew (xmodmap, a new layout): the core event,
    // or the keyboard extension's, which replaces it for clients like Qt that
    // listen to the extension.
    if (type == XCB_MAPPING_NOTIFY ||
        (m_xkbEvent != 0 && type == m_xkbEvent &&
         (event->pad0 == kXkbNewKeyboardNotify || event->pad0 == kXkbMapNotify))) {
        keyboardChanged();
        return false;
    }
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
