#pragma once

#include "TarvoPlatform/PasteKeys.h"

#include <QByteArray>

struct _XDisplay;

namespace tarvo {

// The paste shortcut typed through the XTEST extension, on an Xlib
// connection of its own. The key codes come from the keyboard map (the keysym
// "v"), so any layout that has a v pastes. Main thread only.
class X11PasteKeys final : public PasteKeys {
public:
    // Connects to `displayName` (empty: $DISPLAY) when first used.
    explicit X11PasteKeys(QByteArray displayName = {});
    ~X11PasteKeys() override;
    X11PasteKeys(const X11PasteKeys&) = delete;
    X11PasteKeys& operator=(const X11PasteKeys&) = delete;

    bool canSynthesize() override;
    bool postPaste(bool terminal, quint64 window) override;

private:
    bool connect();
    // Whether the keyboard focus is `window` or a window inside it.
    bool focusIsIn(unsigned long window);

    QByteArray m_displayName;
    _XDisplay* m_display = nullptr;
    bool m_tried = false;
    bool m_hasXTest = false;
};

} // namespace tarvo
