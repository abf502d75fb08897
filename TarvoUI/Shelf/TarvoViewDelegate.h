#pragma once

#include <QPointF>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

class QMenu;

namespace tarvo {

class Pasteboard;
class TarvoView;

// Everything the shelf view reports: intents, questions about a drop and
// context menus. The view decides nothing about items. Not owned by the
// view: its owner clears it before it goes, and without a delegate the view
// refuses drops, shows no menu and reports nothing. Points are in the view's
// own coordinates (origin at the bottom left, y upwards). Main thread only.
class TarvoViewDelegate {
public:
    virtual ~TarvoViewDelegate() = default;

    // Whether the drag's pasteboard holds anything the shelf takes.
    virtual bool tarvoView(TarvoView& view, const Pasteboard& canAccept) = 0;
    // A drag that did not start on the shelf was dropped on the island; true
    // when the drop was taken.
    virtual bool tarvoView(TarvoView& view, const Pasteboard& performDropOf, QPointF at) = 0;
    // The mouse, pressed on an item, moved far enough to drag items out.
    virtual void tarvoView(TarvoView& view, const std::vector<QUuid>& beginDragOutOf,
                           QPointF with) = 0;
    virtual void tarvoViewDidActivate(TarvoView& view, const QUuid& item) = 0;
    virtual void tarvoViewDidRequestQuickLookOf(TarvoView& view,
                                                const std::vector<QUuid>& items) = 0;
    virtual void tarvoViewDidRequestRemovalOf(TarvoView& view, const std::vector<QUuid>& items) = 0;
    virtual void tarvoViewDidRequestRetryOf(TarvoView& view, const QUuid& item) = 0;
    virtual void tarvoViewDidRequestCopyOf(TarvoView& view, const std::vector<QUuid>& items,
                                           bool asPath) = 0;
    virtual void tarvoViewDidRequestRevealOf(TarvoView& view, const QUuid& item) = 0;
    virtual void tarvoViewDidRequestRuleFor(TarvoView& view, const QUuid& item) = 0;
    // An item dragged from the shelf itself was dropped back onto the strip.
    virtual void tarvoViewDidReorder(TarvoView& view, const QUuid& item, int to) = 0;
    virtual void tarvoViewSelectionDidChange(TarvoView& view,
                                             const std::vector<QUuid>& selection) = 0;
    virtual void tarvoViewDidRequestEscape(TarvoView& view) = 0;
    virtual void tarvoViewDidRequestUndo(TarvoView& view) = 0;
    virtual void tarvoViewDidRequestPaste(TarvoView& view) = 0;
    virtual void tarvoViewDidClickNotice(TarvoView& view) = 0;
    virtual void tarvoViewDidTogglePinOf(TarvoView& view, const QUuid& item) = 0;
    virtual void tarvoViewIslandHoverChanged(TarvoView& view, bool hovering) = 0;
    virtual void tarvoViewDidClickBareIsland(TarvoView& view) = 0;
    // A drag was dropped onto a destination chip; true when it was delivered.
    virtual bool tarvoView(TarvoView& view, const Pasteboard& performDropOf,
                           const QUuid& ontoDestination) = 0;
    virtual void tarvoViewDidScrollDestinations(TarvoView& view, bool forward) = 0;
    // The menu to pop up for the item under the pointer (none: the island's
    // background); none shows no menu.
    virtual std::unique_ptr<QMenu> tarvoViewContextMenuFor(TarvoView& view,
                                                           const std::optional<QUuid>& item) = 0;
};

} // namespace tarvo
