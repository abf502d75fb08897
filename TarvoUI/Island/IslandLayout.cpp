#include "IslandLayout.h"

#include "TarvoShape.h"

#include <algorithm>
#include <cmath>

namespace tarvo::IslandLayout {

double roundedPoint(double value) {
    return std::round(value);
}

double itemOpacity(TarvoState state, bool inFlight) {
    if (state == TarvoState::tab)
        return 0;
    return inFlight ? inFlightOpacity : 1.0;
}

double destinationRequiredWidth(bool hasDestinations, Size rowSize) {
    return hasDestinations ? rowSize.width + 32 : 0;
}

double requiredWidth(qsizetype itemCount) {
    return ItemLayout::contentWidth(itemCount);
}

std::optional<ItemLayout::Slot> Layout::slot(qsizetype index) const {
    if (index < 0 || index >= itemCount)
        return std::nullopt;
    return ItemLayout::slotAt(index, itemCount, stripFrame.size(), itemScroll);
}

Layout layout(const Input& in) {
    Layout out;
    const double viewWidth = in.viewSize.width;
    const double viewHeight = in.viewSize.height;
    const bool tab = in.state == TarvoState::tab;

    // 1. The lower edge and the destination row.
    switch (in.state) {
    case TarvoState::dragging:
        out.rowHeight = in.hasDestinations ? destinationRowHeight : 0;
        out.visibleBottom = destinationRowHeight - out.rowHeight;
        out.rowOpacity = in.hasDestinations ? 1 : 0;
        break;
    case TarvoState::hidden:
    case TarvoState::resting:
        out.visibleBottom = destinationRowHeight;
        break;
    case TarvoState::tab:
        out.visibleBottom = tabBottom;
        // Without a notch nothing is left above that edge: the tab would have
        // no height, and its glow would lie above the view.
        if (viewHeight - tabBottom <= 0)
            out.visibleBottom = std::max(viewHeight - plainScreenTabHeight, 0.0);
        break;
    }
    const double vb = out.visibleBottom;

    // 2. The island's rectangle.
    const double w = in.islandWidth > 0 ? std::min(in.islandWidth, viewWidth) : viewWidth;
    const double x = roundedPoint((viewWidth - w) / 2);
    const double h = std::max(viewHeight - vb, 0.0);
    out.islandRect = {x, vb, w, h};

    // 3. The outline.
    out.cornerRadius = std::min({h / 2, w / 2, tab ? tabBottomRadius : bottomRadius});
    out.flare = std::min(h / 3, tab ? tabFlare : flare);
    out.outline = TarvoShape::islandOutline(w, h, out.cornerRadius, out.flare).translated(x, vb);

    // 4. The strip.
    const double band = tab ? 0 : stripHeight;
    out.stripFrame = {x, vb + out.rowHeight, w, band};

    // 5. Scrolling.
    out.maxScroll = ItemLayout::maxScrollOffset(in.itemCount, w);
    out.itemScroll = std::clamp(in.itemScroll, 0.0, out.maxScroll);

    // 6. Item slots: only those in view are made.
    out.itemCount = std::max<qsizetype>(in.itemCount, 0);
    const auto [first, last] =
        ItemLayout::slotsMeeting(0, w, out.itemCount, out.stripFrame.size(), out.itemScroll);
    out.itemSlots.reserve(static_cast<std::size_t>(last - first));
    for (qsizetype i = first; i < last; ++i)
        out.itemSlots.push_back(out.slot(i).value());
    out.itemOpacity = itemOpacity(in.state, false);

    // 7. End fades.
    out.fadesLeft = out.itemScroll > 0.5;
    out.fadesRight = out.itemScroll < out.maxScroll - 0.5;

    // 8, 9. The empty hint and the tab row share the strip's band.
    const Rect hintBand{x, vb, w, band};
    out.emptyLabelFrame = {x, hintBand.midY() - 8, w, 17};
    out.emptyLabelOpacity = in.itemCount == 0 && !tab && in.showsEmptyHint ? 1 : 0;
    out.tabRowFrame = hintBand;

    // 10. The destination row.
    const Size row = in.destinationRowSize;
    out.destinationRowFrame = {roundedPoint(x + (w - row.width) / 2),
                               vb + (out.rowHeight - 28) / 2 + 2, row.width, row.height};

    // 11. The face lift's mask.
    out.faceLiftMask.addRect(0, 0, viewWidth, vb + out.rowHeight + band);

    // 12. The tab glow.
    if (tab) {
        const double g = roundedPoint(w * 0.42);
        out.tabGlowFrame = {roundedPoint(out.islandRect.midX() - g / 2), vb + 5, g, 3};
        out.tabGlowOpacity = in.tabGlowDimmed ? dimmedTabGlowOpacity : 1;
    }

    // 13. The close button on the island's lower left corner.
    out.closeCenter = {x + 7, vb + 7};
    const Point c = out.closeCenter;
    out.closePath.addEllipse(QPointF(c.x, c.y), closeDiameter / 2, closeDiameter / 2);
    const double g = closeGlyphReach;
    out.closeGlyph.moveTo(c.x - g, c.y - g);
    out.closeGlyph.lineTo(c.x + g, c.y + g);
    out.closeGlyph.moveTo(c.x - g, c.y + g);
    out.closeGlyph.lineTo(c.x + g, c.y - g);
    const bool restingOrHidden = in.state == TarvoState::hidden || in.state == TarvoState::resting;
    out.closeOpacity = restingOrHidden && (in.forcesCloseBadge || in.pointerOverIsland) ? 1 : 0;
    out.closeHitRect = {c.x - closeHitSize / 2, c.y - closeHitSize / 2, closeHitSize, closeHitSize};

    // 14. The caption chip, its top 5 points below the island.
    out.captionChipY = vb - captionChipHeight - captionChipGap;
    out.captionChipMaxWidth = std::max(viewWidth - 16, 0.0);
    return out;
}

} // namespace tarvo::IslandLayout
