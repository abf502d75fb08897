#pragma once

#include "ShelfDropTarget.h"

namespace tarvo {

class DestinationRow;
class TarvoView;

// The destination chips under the island as the shelf's drop target meets
// them: the row the controller fills, where the view shows it.
class ShelfChipTargets final : public ChipDropTargets {
public:
    // Neither is owned; both must outlive this.
    ShelfChipTargets(const TarvoView& view, DestinationRow& row) : m_view(view), m_row(row) {}

    bool isShown() const override;
    Rect frame() const override;
    std::optional<QUuid> chipID(Point point) const override;
    std::optional<QUuid> nearestChipID(Point point) const override;
    void setHighlighted(const std::optional<QUuid>& chip) override;

private:
    const TarvoView& m_view;
    DestinationRow& m_row;
};

} // namespace tarvo
