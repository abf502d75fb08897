#pragma once

namespace tarvo {

// Types the paste shortcut into whatever window has the keyboard, as if the
// user pressed it. Main thread only.
class PasteKeys {
public:
    virtual ~PasteKeys() = default;
    // Whether keys can be synthesised on this display at all.
    virtual bool canSynthesize() = 0;
    // Lets go of every modifier the user holds, then presses and releases
    // Ctrl+V, or Ctrl+Shift+V where a terminal wants it; false when nothing
    // could be sent.
    virtual bool postPaste(bool terminal) = 0;
};

} // namespace tarvo
