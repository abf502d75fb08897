#pragma once

namespace tarvo {

// How the shelf presents itself.
enum class TarvoState {
    hidden,   // not shown
    dragging, // unfolded as a drop target while a drag is under way
    resting,  // unfolded, showing the items, no drag under way
    tab,      // folded into a small tab at the top of the screen
};

// The state's name in logs and test traces.
constexpr const char* nameOf(TarvoState state) {
    switch (state) {
    case TarvoState::hidden:
        return "hidden";
    case TarvoState::dragging:
        return "dragging";
    case TarvoState::resting:
        return "resting";
    case TarvoState::tab:
        return "tab";
    }
    return "?";
}

} // namespace tarvo
