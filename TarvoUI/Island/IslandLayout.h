#pragma once

#include "Rect.h"

#include "TarvoCore/ItemLayout.h"
#include "TarvoCore/TarvoState.h"

#include <QPainterPath>

#include <optional>
#include <vector>

// Where everything inside the shelf view goes for one state: the island's
// lower edge and outline, the item strip, the destination row, the empty
// hint, the tab glow, the close button and the caption chip. A pure function
// of the view's fields, in the view's space (origin at its bottom left, y
// upwards; the island hangs from the view's top).
namespace tarvo::IslandLayout {

inline constexpr double stripHeight = 92;
inline constexpr double destinationRowHeight = 40;
// The island's lower edge while folded into a tab, for a view as tall as the
// dragging panel: on a notched screen what is left above is the notch.
inline constexpr double tabBottom = 132;
// A screen without a notch leaves the tab nothing above `tabBottom`; there
// the tab hangs this far from the top instead, as tall as a notch.
inline constexpr double plainScreenTabHeight = 32;
inline constexpr double bottomRadius = 32;
inline constexpr double tabBottomRadius = 10;
inline constexpr double flare = 10;
inline constexpr double tabFlare = 7;
inline constexpr double endFadeWidth = 26;
inline constexpr double closeDiameter = 18;
inline constexpr double closeHitSize = 28;
inline constexpr double closeGlyphReach = 3.24;
inline constexpr double captionChipHeight = 24;
inline constexpr double captionChipGap = 5;
inline constexpr double inFlightOpacity = 0.35;
// The tab's glow once the tab has been tucked away on a notched screen: still
// there to find, no longer calling for attention.
inline constexpr double dimmedTabGlowOpacity = 0.3;

struct Input {
    Size viewSize;
    TarvoState state = TarvoState::hidden;
    double islandWidth = 0; // 0 or less: the view's width
    qsizetype itemCount = 0;
    bool hasDestinations = false; // the destination row holds chip models
    Size destinationRowSize;
    double itemScroll = 0;
    bool showsEmptyHint = false;
    bool forcesCloseBadge = false;
    bool pointerOverIsland = false;
    bool tabGlowDimmed = false;
};

struct Layout {
    double visibleBottom = 0;
    double rowHeight = 0;
    double rowOpacity = 0;

    Rect islandRect;
    double cornerRadius = 0;
    double flare = 0;
    QPainterPath outline; // also the shadow path and the face lift's path

    Rect stripFrame;
    double itemScroll = 0; // clamped
    double maxScroll = 0;
    qsizetype itemCount = 0;
    // The slots whose tiles meet the strip, in the strip's space; any other
    // slot is `slot(index)` away, so a long shelf costs no more than a short
    // one.
    std::vector<ItemLayout::Slot> itemSlots;
    double itemOpacity = 1; // of an item not in flight
    bool fadesLeft = false;
    bool fadesRight = false;

    Rect emptyLabelFrame;
    double emptyLabelOpacity = 0;
    Rect tabRowFrame;
    Rect destinationRowFrame;
    QPainterPath faceLiftMask;
    Rect tabGlowFrame;
    double tabGlowOpacity = 0;

    Point closeCenter;
    QPainterPath closePath;
    QPainterPath closeGlyph; // two strokes about the centre, in the view's space
    double closeOpacity = 0;
    Rect closeHitRect;

    double captionChipY = 0; // bottom of the caption chip
    double captionChipMaxWidth = 0;

    // Slot `index` of the whole list, in view or not; none past its end.
    std::optional<ItemLayout::Slot> slot(qsizetype index) const;
};

Layout layout(const Input& input);

// The opacity of an item layer in a state: none in the tab, faded in flight.
double itemOpacity(TarvoState state, bool inFlight);
// The island width the destination row needs: 0 without chips.
double destinationRequiredWidth(bool hasDestinations, Size rowSize);
// The island width the item strip needs: at most eight slots count.
double requiredWidth(qsizetype itemCount);
// `value` rounded to whole points, halves away from zero.
double roundedPoint(double value);

} // namespace tarvo::IslandLayout
