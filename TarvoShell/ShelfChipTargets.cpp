#include "ShelfChipTargets.h"

#include "DestinationRow.h"
#include "TarvoView.h"

namespace tarvo {

bool ShelfChipTargets::isShown() const {
    return m_view.destinationRowLayer().opacity() > 0 && !m_row.models().empty();
}

Rect ShelfChipTargets::frame() const {
    return m_view.destinationRowLayer().frame();
}

std::optional<QUuid> ShelfChipTargets::chipID(Point point) const {
    return m_row.chipID(point);
}

std::optional<QUuid> ShelfChipTargets::nearestChipID(Point point) const {
    return m_row.nearestChipID(point);
}

void ShelfChipTargets::setHighlighted(const std::optional<QUuid>& chip) {
    m_row.setHighlighted(chip);
}

} // namespace tarvo
