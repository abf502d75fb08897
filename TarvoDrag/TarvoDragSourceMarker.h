#pragma once

#include <QUuid>

#include <vector>

namespace tarvo {

// How the shelf recognises a drag that started on the shelf when it comes
// back over it.
class TarvoDragSourceMarker {
public:
    virtual ~TarvoDragSourceMarker() = default;
    virtual bool isTarvoSource() const = 0;
    // The dragged items' identifiers, in the drag's order.
    virtual std::vector<QUuid> draggedItemIDs() const = 0;
};

} // namespace tarvo
