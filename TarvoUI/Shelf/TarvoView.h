#pragma once

#include "CaptionChip.h"
#include "LayerPainter.h"
#include "Motion.h"
#include "Rect.h"
#include "ShelfAccessibility.h"

#include "TarvoCore/Item.h"
#include "TarvoCore/ItemList.h"
#include "TarvoCore/TarvoState.h"

#include <QHash>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRegion>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tarvo {

class AnimationClock;
class Animator;
class DisplayOptions;
class IslandScene;
class ItemLayer;
class Layer;
class ShelfDropTarget;
class ShelfInput;
class TarvoViewDelegate;

// The shelf's one view: it hosts the island's layer tree (outline, strip,
// close button, tab glow, destination row) with one tile per item of the
// last snapshot and the caption chip, and reports every intent to its
// delegate. It owns no model: the controller pushes snapshots in. Its own
// coordinates have their origin at the bottom left with y upwards, as the
// layout counts; Qt is met only where events and painting come in. Main
// thread only.
class TarvoView final : public QWidget, public AccessibleShelf {
public:
    // `clock` drives the layer tree's animations; without one the view
    // keeps a frame clock of its own. `display` answers Reduce Motion and
    // Increase Contrast; without it neither is on. Neither is owned.
    explicit TarvoView(AnimationClock* clock = nullptr, const DisplayOptions* display = nullptr,
                       QWidget* parent = nullptr);
    ~TarvoView() override;

    // The root of the view's layer tree, which spans the view, the animator
    // its animations run on, and the island that lays it out.
    const std::shared_ptr<Layer>& rootLayer() const;
    Animator& animator() const { return *m_animator; }
    IslandScene& scene() const { return *m_scene; }
    // Without a compositor the window shows only the island, so its shadow
    // is left out.
    void setDrawsShadow(bool draws);
    // Read at every use; none: no display option is on.
    void setDisplayOptions(const DisplayOptions* display);

    TarvoViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(TarvoViewDelegate* delegate) { m_delegate = delegate; }

    const ItemList& items() const override { return *m_list; }
    const std::vector<QUuid>& selection() const override { return m_selection; }
    TarvoState state() const;

    // The snapshot: items newest first, the selection, the state to show and
    // the items that play the landing animation (empty: the ones new to the
    // view, none at the first snapshot, which shows stored items in place).
    using QWidget::update;
    void update(std::vector<Item> items, std::vector<QUuid> selection, TarvoState state,
                const QSet<QUuid>& animateLanding);
    // The same from the store's list, kept as it is: nothing of a long shelf
    // is copied, and a list the view already shows is not looked through.
    void update(std::shared_ptr<const ItemList> items, std::vector<QUuid> selection,
                TarvoState state, const QSet<QUuid>& animateLanding);

    const std::optional<QString>& notice() const { return m_notice; }
    // Lays the caption out again only when the text changed.
    void setNotice(const std::optional<QString>& notice);
    bool noticeIsClickable() const { return m_noticeIsClickable; }
    void setNoticeIsClickable(bool clickable) { m_noticeIsClickable = clickable; }
    // Take effect at the next layout.
    bool showsEmptyHint() const { return m_showsEmptyHint; }
    void setShowsEmptyHint(bool shows) { m_showsEmptyHint = shows; }
    bool forcesCloseBadge() const { return m_forcesCloseBadge; }
    void setForcesCloseBadge(bool forces) { m_forcesCloseBadge = forces; }
    bool tabGlowDimmed() const;
    // A dimmed glow shows faintly; lays out only when the value changed.
    void setTabGlowDimmed(bool dimmed);
    bool increaseContrast() const { return m_increaseContrast; }
    // Redraws the island and the items with stronger edges and text.
    void setIncreaseContrast(bool increase);
    const QSet<QUuid>& itemsInFlight() const;
    void setItemsInFlight(const QSet<QUuid>& items);
    bool catchHighlighted() const;
    void setCatchHighlight(bool on);
    // The close button held down: drawn pressed.
    bool closePressed() const { return m_closeButtonPressed; }
    void setClosePressed(bool pressed);
    // The island's width as the controller chose it; 0 or less: the view's width.
    double islandWidth() const { return m_islandWidth; }
    void setIslandWidth(double width);
    // A null image forgets the item's thumbnail. `isFolder`: the picture's
    // maker found a folder stored, whose tile then shows no type badge.
    void setThumbnail(const QImage& image, const QUuid& item, bool isFolder = false);
    std::optional<QImage> thumbnail(const QUuid& item) const {
        const auto found = m_thumbnails.constFind(item);
        return found == m_thumbnails.constEnd() ? std::nullopt : std::optional<QImage>(*found);
    }

    // The window's origin in global points, y upwards; the panel sets it
    // whenever it moves, before the next layout.
    void setWindowOrigin(Point origin);
    Point windowOrigin() const { return m_windowOrigin; }
    // A wheel movement over the chip row must exceed this many points to
    // turn a page of chips; smaller ones do nothing.
    static constexpr double destinationScrollThreshold = 2.0;

    // What the layout produced last.
    double visibleBottom() const;
    Rect islandRect() const;
    Point closeCenter() const;
    double itemScroll() const;
    // How wide the island wants to be for its content, and for the chips.
    double requiredWidth() const;
    double destinationRequiredWidth() const;

    // The destination row: the layer the chips hang in (in the island's
    // tree), whether it holds chips and its size; a row of the chips' own
    // may take the plain one's place.
    Layer& destinationRowLayer() const;
    void setDestinationRowLayer(std::shared_ptr<Layer> row);
    void setDestinationRow(bool hasChips, Size size);
    // Finds the chip under a point in the row's own coordinates (a hit or
    // the nearest in the catch area); set by whoever fills the row.
    void setDestinationChipLookup(std::function<std::optional<QUuid>(Point)> lookup);
    // The chip under a point in global points (y upwards); none while the
    // row is hidden, the view is not shown or no row answers.
    std::optional<QUuid> destinationChip(Point screenPoint) const;

    // When the view last took a press, in seconds of the window system's
    // clock, the one the mouse monitors stamp their events with.
    std::optional<double> lastPressTime() const { return m_lastPressTime; }

    bool isShowingMenu() const { return m_isShowingMenu; }
    void setShowingMenu(bool showing) { m_isShowingMenu = showing; }
    bool isPointerOverIsland() const { return m_hoveringIsland; }
    // Asks where the pointer is now and updates the island's hover (after a
    // grab, when no crossing event came).
    void refreshIslandHover();
    bool isPointerNearIsland() const;
    bool closeButtonVisible() const;
    // The caption as it should read now, and the chip's frame in view
    // coordinates (none while it is hidden).
    std::optional<QString> chipText() const;
    std::optional<Rect> chipFrame() const;
    // The chip's frame grown by the click margin, while a click on it counts.
    std::optional<Rect> clickableChipFrame() const;
    const CaptionChip& captionChip() const { return m_chip; }

    // Lays every part out for the present fields (once a hold ends, when
    // one is held).
    void layoutContents();
    // Holds the view's layouts and shape changes while its owner changes
    // several fields in turn, as a show does: the last hold to end lays out
    // and reshapes once. A change of state still lays out at once, a morph
    // from what the held changes show.
    class LayoutOnce final {
    public:
        explicit LayoutOnce(TarvoView& view) : m_view(view) { ++m_view.m_layoutHolds; }
        ~LayoutOnce() { m_view.releaseLayout(); }
        LayoutOnce(const LayoutOnce&) = delete;
        LayoutOnce& operator=(const LayoutOnce&) = delete;

    private:
        TarvoView& m_view;
    };
    // Sets the state and lays out; when `animated`, morphs from what was on
    // screen with `spring`. Without one: the extending spring towards the
    // open states, the retracting one towards the tab and hidden.
    void setStripState(TarvoState state, bool animated);
    void setStripState(TarvoState state, bool animated, const Motion::Spring& spring);
    bool isDisappearing() const;
    void cancelDisappear();
    void animateAppear();
    void animateAppear(const Motion::Spring& spring);
    // Calls `completion` once the island is gone: on a later frame, or at
    // once when there is nothing to slide.
    void animateDisappear(std::function<void()> completion);
    void animateDisappear(const Motion::Spring& spring, std::function<void()> completion);
    void announceOpened();
    void announceLanded(const Item& item);
    // Where announcements go; the accessibility bridge unless a test sets one.
    void setAnnouncer(Announcer* announcer);

    // The layer of each item of the last snapshot that is in view or within a
    // strip's width of it, and the layer they hang in. Tiles further off have
    // none: scrolling hands the layers that leave to the items that come.
    const std::map<QUuid, std::shared_ptr<ItemLayer>>& itemLayers() const { return m_itemLayers; }
    // The indices [first, last) of `items()` that have layers.
    std::pair<std::size_t, std::size_t> layerWindow() const override { return m_window; }
    // The item's index in `items()`, if it is there.
    std::optional<std::size_t> indexOf(const QUuid& item) const override;
    // The tiles with a layer that have no picture yet, in strip order.
    std::vector<Item> tilesWithoutPictures() const;
    // Called when tiles without a picture came into the window, so that the
    // owner can ask for theirs.
    std::function<void()> onTilesNeedPictures;
    const Layer& itemsRoot() const;
    ItemLayer* itemLayer(const QUuid& id) const;
    // The strip's frame in view coordinates; the item layers' frames are in
    // the strip's own.
    Rect stripFrame() const;
    // The item under a view point, if any, and where an item dropped there
    // would go.
    std::optional<QUuid> itemAt(Point point) const;
    // An item's tile in view coordinates while it has a slot and shows.
    std::optional<Rect> itemFrame(const QUuid& item) const override;
    qsizetype insertionIndex(Point point) const;
    // Selects the items, shows the last of them and tells the delegate.
    void select(std::vector<QUuid> selection);
    // Scrolls the strip so that the item's tile is whole.
    void revealItem(const QUuid& item);

    // Moves the strip by a scroll delta, within its ends.
    void scrollItems(double delta);

    // The pointer and keyboard, and the drop target; the view hands them its
    // events.
    ShelfInput& input() const { return *m_input; }
    ShelfDropTarget& dropTarget() const { return *m_dropTarget; }

    // Whether a press at `point` (view coordinates) belongs to the view; where
    // it does not, the press goes to the window below.
    bool hitTest(Point point) const;
    // The same rules as a region in Qt's widget coordinates, for the window
    // system's input shape; the dragging state takes the whole view, since
    // drops find their target by it.
    QRegion inputRegion() const;
    // The island's outline in view coordinates, and in Qt's widget coordinates.
    QPainterPath islandOutline() const;
    QPainterPath outlinePath() const;
    // What shows, as a region for windows drawn without a compositor: the
    // outline, the close button and the caption chip where they are
    // presented now (mid-slide or mid-morph too), each with its antialiased
    // rim, in the pixels of a window drawn at `ratio`.
    QRegion outlineRegion(double ratio = 1) const;

    // Called after every layout, so that the panel can follow the regions.
    std::function<void()> onShapeChanged;
    // Where the pointer is now, in global points with y upwards; asked by
    // the proximity test, since a folded tab takes no pointer events to
    // learn it from. Unset, Qt's cursor position is asked.
    std::function<QPointF()> pointerLocation;
    // Called on an animation frame that presents the outline anywhere else
    // than the frame before, so that a window drawn without a compositor can
    // follow a slide or a morph frame by frame.
    std::function<void()> onOutlineMoved;

    // Forgets every picture drawn for the screen (the layers' pixels, text,
    // shadows and offscreen images) while the shelf is hidden; the next paint
    // draws them again.
    void dropPictures();
    // How many layers keep pixels of their drawing now.
    int layersWithPictures() const;

    // The pixels per point the layers are drawn for: the window's device
    // pixel ratio, 2 before the view has a window.
    double contentsScale() const { return m_contentsScale; }

    // A view point as a Qt widget point and back.
    QPointF toQt(Point point) const override { return {point.x, height() - point.y}; }
    Point fromQt(QPointF point) const { return {point.x(), height() - point.y()}; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class Options;

    void setUp();
    void setHovering(bool hovering);
    void setHoveredItem(const std::optional<QUuid>& item);
    void syncItemLayers();
    // Gives layers to the items of the window for the present scroll and
    // width and takes them from the items that left it.
    void syncLayerWindow();
    std::pair<std::size_t, std::size_t> wantedWindow() const;
    void applyItem(ItemLayer& layer, const Item& item, const Color& accent);
    Color accentColor() const;
    void applyItems();
    void pushFields();
    void layoutNow();
    void releaseLayout();
    void layoutChip();
    void updateAccessibility();
    void shapeChanged();
    // The parts `outlineRegion` is made of, in view coordinates.
    std::vector<QPainterPath> presentedOutline() const;
    // Each animation frame: tells `onOutlineMoved` when the outline moved.
    void followPresentedOutline();
    void updateContentsScale();
    bool reduceMotion() const;
    bool overIsland(Point point) const;

    std::unique_ptr<AnimationClock> m_ownClock;
    std::unique_ptr<Animator> m_animator;
    std::unique_ptr<Options> m_options;
    std::unique_ptr<IslandScene> m_scene;
    CaptionChip m_chip;
    LayerPainter m_painter;
    bool m_drawsShadow = true;
    TarvoViewDelegate* m_delegate = nullptr;
    // Never null.
    std::shared_ptr<const ItemList> m_list = std::make_shared<const ItemList>();
    std::vector<QUuid> m_selection;
    std::optional<QString> m_notice;
    bool m_noticeIsClickable = false;
    bool m_showsEmptyHint = false;
    bool m_forcesCloseBadge = false;
    bool m_increaseContrast = false;
    QHash<QUuid, QImage> m_thumbnails;
    // Items whose stored file is a folder, as their thumbnails told.
    QSet<QUuid> m_folders;
    bool m_closePressed = false;
    bool m_closeButtonPressed = false;
    bool m_barePressed = false;
    bool m_hoveringIsland = false;
    double m_islandWidth = 0;
    bool m_isShowingMenu = false;
    std::optional<double> m_lastPressTime;
    std::unique_ptr<ShelfInput> m_input;
    std::unique_ptr<ShelfDropTarget> m_dropTarget;
    std::map<QUuid, std::shared_ptr<ItemLayer>> m_itemLayers;
    QSet<QUuid> m_selectionSet;
    std::pair<std::size_t, std::size_t> m_window{0, 0};
    // Layers of tiles that scrolled away, ready for the next that come.
    std::vector<std::shared_ptr<ItemLayer>> m_spareLayers;
    // Stored items shown by the first snapshot are in place, not landing.
    bool m_hadSnapshot = false;
    std::optional<QUuid> m_hoveredItem;
    Announcer* m_announcer = nullptr;
    Point m_windowOrigin;
    double m_contentsScale = 2;
    std::function<std::optional<QUuid>(Point)> m_chipLookup;
    // The parts the last outline region was made of: a frame that presents
    // the same needs no new window shape.
    mutable std::vector<QPainterPath> m_shapedOutline;
    // The state of a snapshot taken while shown, until the morph to it.
    std::optional<TarvoState> m_pendingState;
    bool m_pendingQueued = false;
    int m_layoutHolds = 0;
    bool m_layoutDue = false;
    bool m_shapeDue = false;
};

} // namespace tarvo
