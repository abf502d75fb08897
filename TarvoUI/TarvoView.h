#pragma once

#include "LayerPainter.h"

#include "TarvoCore/Item.h"
#include "TarvoCore/Rect.h"
#include "TarvoCore/TarvoState.h"

#include <QHash>
#include <QImage>
#include <QPainterPath>
#include <QRegion>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo {

class AnimationClock;
class Animator;
class Announcer;
class ItemLayer;
class Layer;
class ShapeLayer;
class TarvoViewDelegate;

// The shelf's one view: it draws the island with the items of the last
// snapshot and reports every intent to its delegate. It owns no model: the
// controller pushes snapshots in. Its own coordinates have their origin at
// the bottom left with y upwards, as the layout counts; Qt is met only where
// events and painting come in. Main thread only.
class TarvoView final : public QWidget {
public:
    // `clock` drives the layer tree's animations; without one the view
    // keeps a frame clock of its own. Not owned.
    explicit TarvoView(AnimationClock* clock = nullptr, QWidget* parent = nullptr);
    ~TarvoView() override;

    // The root of the view's layer tree, which spans the view, and the
    // animator its animations run on.
    const std::shared_ptr<Layer>& rootLayer() const { return m_rootLayer; }
    Animator& animator() const { return *m_animator; }
    // Without a compositor the window shows only the island, so its shadow
    // is left out.
    void setDrawsShadow(bool draws);

    TarvoViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(TarvoViewDelegate* delegate) { m_delegate = delegate; }

    const std::vector<Item>& items() const { return m_items; }
    const std::vector<QUuid>& selection() const { return m_selection; }
    TarvoState state() const { return m_state; }

    // The snapshot: items newest first, the selection, the state to show.
    using QWidget::update;
    void update(std::vector<Item> items, std::vector<QUuid> selection, TarvoState state,
                const QSet<QUuid>& animateLanding);

    const std::optional<QString>& notice() const { return m_notice; }
    // Lays the caption out again only when the text changed.
    void setNotice(const std::optional<QString>& notice);
    bool noticeIsClickable() const { return m_noticeIsClickable; }
    void setNoticeIsClickable(bool clickable) { m_noticeIsClickable = clickable; }
    bool showsEmptyHint() const { return m_showsEmptyHint; }
    void setShowsEmptyHint(bool shows) { m_showsEmptyHint = shows; }
    bool tabGlowDimmed() const { return m_tabGlowDimmed; }
    void setTabGlowDimmed(bool dimmed);
    bool forcesCloseBadge() const { return m_forcesCloseBadge; }
    void setForcesCloseBadge(bool forces) { m_forcesCloseBadge = forces; }
    bool increaseContrast() const { return m_increaseContrast; }
    // Redraws the items with stronger edges and text.
    void setIncreaseContrast(bool increase);
    const QSet<QUuid>& itemsInFlight() const { return m_itemsInFlight; }
    void setItemsInFlight(const QSet<QUuid>& items);
    // The island's width as the controller chose it; 0 or less: the view's width.
    double islandWidth() const { return m_islandWidth; }
    void setIslandWidth(double width);
    void setThumbnail(const QImage& image, const QUuid& item);
    std::optional<QImage> thumbnail(const QUuid& item) const {
        const auto found = m_thumbnails.constFind(item);
        return found == m_thumbnails.constEnd() ? std::nullopt : std::optional<QImage>(*found);
    }

    // What the layout produced last.
    double visibleBottom() const { return m_visibleBottom; }
    const Rect& islandRect() const { return m_islandRect; }
    Point closeCenter() const { return m_closeCenter; }
    double itemScroll() const { return m_itemScroll; }
    // How wide the island wants to be for its content, and for the chips.
    double requiredWidth() const;
    double destinationRequiredWidth() const { return 0; }
    bool isShowingMenu() const { return m_isShowingMenu; }
    bool isPointerOverIsland() const { return m_hoveringIsland; }
    bool isPointerNearIsland() const;
    bool closeButtonVisible() const;
    // The caption chip's frame in view coordinates; none while it is hidden.
    std::optional<Rect> chipFrame() const;

    // Lays every part out for the present fields.
    void layoutContents();
    // The state the strip shows; animated by the motion code where it runs.
    void setStripState(TarvoState state, bool animated);
    bool isDisappearing() const { return m_disappearing; }
    void cancelDisappear() { m_disappearing = false; }
    void animateAppear();
    // Calls `completion` once the island is gone.
    void animateDisappear(std::function<void()> completion);
    void announceOpened();
    void announceLanded(const Item& item);
    // Where announcements go; the accessibility bridge unless a test sets one.
    void setAnnouncer(Announcer* announcer);

    // The layer of each item of the last snapshot, and the layer they hang in.
    const std::map<QUuid, std::shared_ptr<ItemLayer>>& itemLayers() const { return m_itemLayers; }
    const Layer& itemsRoot() const { return *m_itemsRoot; }
    // The item under a view point, if any.
    std::optional<QUuid> itemAt(Point point) const;

    // Moves the strip by a scroll delta, within its ends.
    void scrollItems(double delta);

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
    // The outline as a region, for windows drawn without a compositor.
    QRegion outlineRegion() const;

    // Called after every layout, so that the panel can follow the regions.
    std::function<void()> onShapeChanged;

    // A view point as a Qt widget point and back.
    QPointF toQt(Point point) const { return {point.x, height() - point.y}; }
    Point fromQt(QPointF point) const { return {point.x(), height() - point.y()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setUp();
    void setHovering(bool hovering);
    void setHoveredItem(const std::optional<QUuid>& item);
    void syncItemLayers(const QSet<QUuid>& animateLanding);
    void layoutItems();
    double stripContentWidth() const;

    std::unique_ptr<AnimationClock> m_ownClock;
    std::unique_ptr<Animator> m_animator;
    std::shared_ptr<Layer> m_rootLayer;
    std::shared_ptr<ShapeLayer> m_islandLayer;
    LayerPainter m_painter;
    bool m_drawsShadow = true;
    TarvoViewDelegate* m_delegate = nullptr;
    std::vector<Item> m_items;
    std::vector<QUuid> m_selection;
    TarvoState m_state = TarvoState::hidden;
    std::optional<QString> m_notice;
    bool m_noticeIsClickable = false;
    bool m_showsEmptyHint = false;
    bool m_tabGlowDimmed = false;
    bool m_forcesCloseBadge = false;
    QSet<QUuid> m_itemsInFlight;
    bool m_catchHighlighted = false;
    bool m_increaseContrast = false;
    Point m_closeCenter;
    double m_itemScroll = 0;
    QHash<QUuid, QImage> m_thumbnails;
    bool m_closePressed = false;
    bool m_barePressed = false;
    bool m_hoveringIsland = false;
    double m_visibleBottom = 0;
    std::optional<QString> m_lastChipText;
    double m_islandWidth = 0;
    Rect m_islandRect;
    bool m_isShowingMenu = false;
    bool m_disappearing = false;
    // Whether the delegate took the drag under the pointer.
    bool m_dropAccepted = false;
    std::shared_ptr<Layer> m_itemsRoot;
    std::map<QUuid, std::shared_ptr<ItemLayer>> m_itemLayers;
    // Stored items shown by the first snapshot are in place, not landing.
    bool m_hadSnapshot = false;
    std::optional<QUuid> m_hoveredItem;
    Announcer* m_announcer = nullptr;
    // The pointer's last place in the view, while it is inside.
    std::optional<Point> m_pointer;
};

} // namespace tarvo
