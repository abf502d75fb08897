#pragma once

#include "TarvoPlatform/PasteKeys.h"

#include <functional>
#include <vector>

namespace tarvo {

// Records each synthesised paste: whether it was the terminal's shortcut.
class MemoryPasteKeys final : public PasteKeys {
public:
    bool canSynthesize() override { return m_available; }
    bool postPaste(bool terminal) override {
        if (!m_available)
            return false;
        m_pastes.push_back(terminal);
        if (onPaste)
            onPaste(terminal);
        return true;
    }

    void setAvailable(bool available) { m_available = available; }
    const std::vector<bool>& pastes() const { return m_pastes; }
    std::function<void(bool terminal)> onPaste;

private:
    bool m_available = true;
    std::vector<bool> m_pastes;
};

} // namespace tarvo
