#pragma once

#include "Rect.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace tarvo {

struct Item;

// The geometry of the shelf's thumbnail strip, in the strip's own space: origin
// at its lower-left corner, y upwards. Every width, slot and scroll limit of the
// strip comes from here, so the view, its hit tests and the panel agree.
namespace ItemLayout {

inline constexpr double thumbnailSize = 56;
inline constexpr double cornerRadius = 14;
inline constexpr double spacing = 12;
inline constexpr double sidePadding = 24;
inline constexpr double bottomPadding = 24;
inline constexpr double labelHeight = 11;
inline constexpr double labelGap = 3;
inline constexpr qsizetype maxVisible = 8;
inline constexpr qsizetype maxVisibleFilenames = 6;
inline constexpr double chipWidth = 32;
inline constexpr double minimumHitTarget = 28;

struct Slot {
    qsizetype index = 0; // position in the shelf's list, 0 = newest
    Rect frame;          // where the thumbnail is drawn
    Rect hitFrame;       // where a click or drag hits the item
    bool isOverflowChip = false;
    bool operator==(const Slot&) const = default;
};

struct VisibleCount {
    qsizetype thumbnails = 0;
    bool showsChip = false;
    bool operator==(const VisibleCount&) const = default;
};

// The caption under a thumbnail: the name without its extension, or the time
// alone for a screenshot or screen recording named with its date and time.
QString tileName(const QString& name);
// The type badge: the display name's extension in capitals for files and
// images ("FILE" without one), "TXT", "RTF" or "LINK" otherwise. A stored
// folder has no badge: its folder picture already says what it is. The
// payload says so for items made since it records it; for older ones whoever
// has looked at the disk says so.
QString typeLabel(const Item& item, bool isFolder = false);

// Every item gets a slot; the strip scrolls rather than showing an overflow chip.
VisibleCount visibleCount(qsizetype count);
bool showsFilenames(qsizetype count);

// The width the panel asks for: room for at most `maxVisible` slots.
double contentWidth(qsizetype count);
// The width of the whole row of slots, however many there are.
double rowWidth(qsizetype count);
double maxScrollOffset(qsizetype count, double stripWidth);

// The slots in index order ("slotsFor" because Qt reserves `slots` as a
// keyword). A row that fits is centred and ignores the scroll offset; a wider
// one starts at `sidePadding - scrollOffset`, unclamped.
std::vector<Slot> slotsFor(qsizetype count, Size stripSize, double scrollOffset);
// One slot of that row, without making the others.
Slot slotAt(qsizetype index, qsizetype count, Size stripSize, double scrollOffset);
// The indices [first, last) of the slots whose tiles meet the strip's span
// [from, to) along x.
std::pair<qsizetype, qsizetype> slotsMeeting(double from, double to, qsizetype count,
                                             Size stripSize, double scrollOffset);
// `frame` grown about its centre to at least `minimumHitTarget` on each axis.
Rect hitFrame(const Rect& frame);
// The first slot whose hit frame contains the point.
std::optional<qsizetype> slotIndex(Point point, qsizetype count, Size stripSize,
                                   double scrollOffset);
// Where an item dropped or moved at the point goes: before the first slot whose
// centre lies right of the point, else the last index (the store's move takes
// the item out first, so `count` itself is never a valid target).
qsizetype insertionIndex(Point point, qsizetype count, Size stripSize, double scrollOffset);

} // namespace ItemLayout
} // namespace tarvo
