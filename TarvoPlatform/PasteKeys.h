#pragma once

#include <QtGlobal>

namespace tarvo {

// Types the paste shortcut into whatever window has the keyboard, as if the
// user pressed it. Main thread only.
class PasteKeys {
public:
    virtual ~PasteKeys() = default;
    // Whether keys can be synthesised on this display at all.
    virtual bool canSynthesize() = 0;
    // Looks where the keyboard focus is at that moment: only when it lies in
    // `window` (a top-level window, or any window inside it) lets go of every
    // modifier the user holds, presses and releases Ctrl+V, or Ctrl+Shift+V
    // where a terminal wants it, and presses the held modifiers again. False,
    // with nothing typed, when the focus is elsewhere or nothing could be
    // sent.
    virtual bool postPaste(bool terminal, quint64 window) = 0;
};

} // namespace tarvo
