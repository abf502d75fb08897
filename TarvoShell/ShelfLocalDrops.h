#pragma once

#include "TarvoPlatform/DragSession.h"

namespace tarvo {

class TarvoPanel;

// Where the platform hands drags of the shelf's own items while they are over
// the shelf's own window: never through XDND, since a drop of ours onto a
// window of ours would stall Qt's drop target. The view's drop target lights
// the highlights and reorders; a drop on a chip, or anywhere it does not
// reorder, is reported as taking nothing, so the drag's end delivers to the
// chip under the pointer and records no delivery. Main thread only.
class ShelfLocalDrops final : public LocalDropTarget {
public:
    // Not owned; must outlive this.
    explicit ShelfLocalDrops(TarvoPanel& panel) : m_panel(panel) {}

    DragOperation draggingUpdated(const LocalDrag& drag) override;
    void draggingExited() override;
    DragOperation performDrop(const LocalDrag& drag) override;

private:
    TarvoPanel& m_panel;
};

} // namespace tarvo
