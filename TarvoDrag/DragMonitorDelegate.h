#pragma once

#include <QPointF>

namespace tarvo {

class DragMonitor;

// Hears from the drag monitor that a drag the shelf can take began, and that
// it ended. Not owned by the monitor: its owner clears it before it goes.
class DragMonitorDelegate {
public:
    virtual ~DragMonitorDelegate() = default;
    // `dragBeganAt`: the pointer, in global screen points with y upwards.
    virtual void dragMonitor(DragMonitor& monitor, QPointF dragBeganAt) = 0;
    virtual void dragMonitorDragEnded(DragMonitor& monitor) = 0;
};

} // namespace tarvo
