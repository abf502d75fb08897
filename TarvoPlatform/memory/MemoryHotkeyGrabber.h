#pragma once

#include "TarvoPlatform/HotkeyGrabber.h"

#include <vector>

namespace tarvo {

// A keyboard held in memory: combinations listed in `taken` belong to
// another program; press() plays the user pressing a combination.
class MemoryHotkeyGrabber final : public HotkeyGrabber {
public:
    std::optional<HotkeyFailure> grab(const HotkeySpec& spec,
                                      std::function<void()> pressed) override {
        ++grabCalls;
        for (const auto& other : taken) {
            if (other == spec)
                return HotkeyFailure{HotkeyFailure::Kind::taken, 10, takenBy};
        }
        steps.push_back({true, spec});
        if (m_grabbed)
            steps.push_back({false, *m_grabbed});
        m_grabbed = spec;
        m_pressed = std::move(pressed);
        return std::nullopt;
    }
    void ungrab() override {
        if (m_grabbed)
            steps.push_back({false, *m_grabbed});
        m_grabbed.reset();
        m_pressed = nullptr;
    }

    // True when the combination was registered and its handler ran.
    bool press(const HotkeySpec& spec) {
        if (!m_grabbed || !(*m_grabbed == spec) || !m_pressed)
            return false;
        m_pressed();
        return true;
    }
    const std::optional<HotkeySpec>& grabbed() const { return m_grabbed; }

    // What the keyboard saw, in order: a combination held or let go.
    struct Step {
        bool held;
        HotkeySpec spec;
        bool operator==(const Step&) const = default;
    };
    std::vector<Step> steps;

    std::vector<HotkeySpec> taken;
    QString takenBy;
    int grabCalls = 0;

private:
    std::optional<HotkeySpec> m_grabbed;
    std::function<void()> m_pressed;
};

} // namespace tarvo
