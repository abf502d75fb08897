#pragma once

#include "TarvoPlatform/PasteKeys.h"

#include <functional>
#include <optional>
#include <vector>

namespace tarvo {

// Records each synthesised paste: whether it was the terminal's shortcut.
// A focus set by the test refuses pastes meant for any other window.
class MemoryPasteKeys final : public PasteKeys {
public:
    bool canSynthesize() override { return m_available; }
    bool postPaste(bool terminal, quint64 window) override {
        if (!m_available || (m_focus && *m_focus != window))
            return false;
        m_pastes.push_back(terminal);
        if (onPaste)
            onPaste(terminal);
        return true;
    }

    void setAvailable(bool available) { m_available = available; }
    // The window with the keyboard focus; none: whichever window is asked.
    void setFocus(std::optional<quint64> window) { m_focus = window; }
    const std::vector<bool>& pastes() const { return m_pastes; }
    std::function<void(bool terminal)> onPaste;

private:
    bool m_available = true;
    std::optional<quint64> m_focus;
    std::vector<bool> m_pastes;
};

} // namespace tarvo
