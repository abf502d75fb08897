#pragma once

namespace tarvo {

// How the shelf presents itself.
enum class TarvoState {
    hidden,   // not shown
    dragging, // unfolded as a drop target while a drag is under way
    resting,  // unfolded, showing the items, no drag under way
    tab,      // folded into a small tab at the top of the screen
};

} // namespace tarvo
