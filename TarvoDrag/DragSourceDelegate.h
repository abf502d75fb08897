#pragma once

#include "TarvoCore/RuleModel.h"
#include "TarvoPlatform/DragOperation.h"

#include <QPointF>
#include <QString>

namespace tarvo {

class DragSource;

// Hears how a drag out of the shelf goes, on the main thread. Not owned by
// the drag source: its owner clears it before it goes.
class DragSourceDelegate {
public:
    virtual ~DragSourceDelegate() = default;
    // The destination or the delivery changed.
    virtual void dragSource(DragSource& source, const ResolvedDestination& destinationChanged,
                            const Delivery& delivery) = 0;
    // At every pointer move, in global screen points with y upwards.
    virtual void dragSource(DragSource& source, QPointF movedTo) = 0;
    // Once, when the drag is over: `none` when nothing took the items. The
    // delegate may drop the drag source from here.
    virtual void dragSourceDidEnd(DragSource& source, QPointF at, DragOperation operation) = 0;
    // A promised file was just written into this folder.
    virtual void dragSource(DragSource& source, const QString& deliveredInto) = 0;
    // The wheel turned during the drag, `lines` positive for up or left.
    virtual void dragSourceScrolled(DragSource& source, QPointF at, double lines) {
        (void)source;
        (void)at;
        (void)lines;
    }
    // The window under the pointer began or stopped taking drops.
    virtual void dragSourceTargetChanged(DragSource& source, bool targetTakesDrops) {
        (void)source;
        (void)targetTakesDrops;
    }
};

} // namespace tarvo
