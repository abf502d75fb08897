#pragma once

#include "Rect.h"

#include "TarvoCore/Item.h"
#include "TarvoCore/ItemList.h"

#include <QPointF>
#include <QString>
#include <QUuid>

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

class QWidget;

namespace tarvo {

// What the accessibility tree reads from a shelf view, which implements it:
// points are the view's own, origin at the bottom left and y upwards.
class AccessibleShelf {
public:
    virtual ~AccessibleShelf() = default;
    // The items of the last snapshot, newest first, and the selected ones.
    virtual const ItemList& items() const = 0;
    virtual const std::vector<QUuid>& selection() const = 0;
    // The indices [first, last) of `items()` that have layers.
    virtual std::pair<std::size_t, std::size_t> layerWindow() const = 0;
    // The item's index in `items()`, if it is there.
    virtual std::optional<std::size_t> indexOf(const QUuid& item) const = 0;
    // An item's tile while it has a slot and shows.
    virtual std::optional<Rect> itemFrame(const QUuid& item) const = 0;
    // A point of the view as a Qt widget point.
    virtual QPointF toQt(Point point) const = 0;
};

// Where the shelf's spoken announcements go: the accessibility bridge in the
// program, a recording in tests.
class Announcer {
public:
    virtual ~Announcer() = default;
    virtual void announce(QWidget& source, const QString& text) = 0;
};

// Announces through the accessibility bridge. Qt offers no announcement
// event here, so the text becomes the view's description and a description
// change goes out, which the AT-SPI bridge forwards to screen readers.
class AccessibleAnnouncer final : public Announcer {
public:
    void announce(QWidget& source, const QString& text) override;
};

namespace ShelfAccessibility {

// Makes every widget that is an `AccessibleShelf` publish one accessible
// element per item with a slot, inside its own element. Safe to call more
// than once.
void install();

} // namespace ShelfAccessibility

} // namespace tarvo
