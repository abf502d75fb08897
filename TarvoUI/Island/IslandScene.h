#pragma once

#include "GradientLayer.h"
#include "IslandLayout.h"
#include "Layer.h"
#include "Motion.h"
#include "ShapeLayer.h"
#include "TextLayer.h"

#include "TarvoCore/ItemList.h"
#include "TarvoCore/TarvoState.h"

#include <QHash>
#include <QSet>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace tarvo {

class Animator;
class DisplayOptions;

// The island's layers and everything that places and moves them: the layout
// of each state, the state morph, the slide in and out, and the three small
// state changes (items in flight, catch highlight, close button pressed).
// The shelf view hosts its root layer, hands it the view's fields and paints
// it. Coordinates are the view's: origin at the bottom left, y upwards.
// Main thread only.
class IslandScene final {
public:
    IslandScene(Animator& animator, const DisplayOptions& display);
    ~IslandScene();

    IslandScene(const IslandScene&) = delete;
    IslandScene& operator=(const IslandScene&) = delete;

    // The root the view paints; it spans the view.
    const std::shared_ptr<Layer>& root() const { return m_root; }

    // The view's fields the layout reads. Setting them lays nothing out.
    void setViewSize(Size size);
    Size viewSize() const { return m_viewSize; }
    // The window's origin in global points, y upwards: a morph after the
    // window moved starts where the island was on screen.
    void setWindowOrigin(Point origin) { m_windowOrigin = origin; }
    void setIslandWidth(double width) { m_islandWidth = width; }
    void setShowsEmptyHint(bool shows) { m_showsEmptyHint = shows; }
    void setForcesCloseBadge(bool forces) { m_forcesCloseBadge = forces; }
    void setPointerOverIsland(bool over) { m_pointerOverIsland = over; }
    // The destination row's chips: whether there are any and the row's size.
    void setDestinationRow(bool hasChips, Size size);
    // Puts `row` in the destination row's place in the tree (and among the
    // riding layers); it takes over the old row's frame and opacity.
    void setDestinationRowLayer(std::shared_ptr<Layer> row);
    // A dimmed tab glow shows faintly; the change fades when the tab shows.
    void setTabGlowDimmed(bool dimmed);
    bool tabGlowDimmed() const { return m_tabGlowDimmed; }
    // Stronger edges and text: a light rim round the island, a brighter
    // glow, hint, close cross and catch highlight. Takes effect at the next
    // layout.
    void setIncreaseContrast(bool increase) { m_increaseContrast = increase; }
    bool increaseContrast() const { return m_increaseContrast; }
    // The pixels per point the text layers are drawn for.
    void setContentsScale(double scale);
    // The items shown, newest first, each with its layer (in `itemsContainer`).
    void setItems(std::vector<QUuid> items);
    // The same from a shared list, kept as it is (with its own index).
    void setItems(std::shared_ptr<const ItemList> items);
    // Where an item is in that list, from an owner that keeps its own index;
    // without one the scene keeps an index of its own.
    void setItemIndexLookup(std::function<std::optional<std::size_t>(const QUuid&)> lookup) {
        m_indexLookup = std::move(lookup);
    }
    void setItemLayer(const QUuid& id, std::shared_ptr<Layer> layer);
    void removeItemLayer(const QUuid& id);
    const std::map<QUuid, std::shared_ptr<Layer>>& itemLayers() const { return m_itemLayers; }
    // Places an item layer in its slot (in the strip's space); a plain
    // layer takes the slot as its frame.
    void setItemLayoutHandler(std::function<void(Layer&, const Rect&)> handler);
    // Called when a slide-out hides the caption chip.
    void setCaptionChipHider(std::function<void()> hide) { m_hideCaptionChip = std::move(hide); }

    TarvoState state() const { return m_state; }
    double itemScroll() const { return m_itemScroll; }
    // Scrolls the strip by `delta` points when it holds more than fits.
    void scrollItems(double delta);
    void setItemScroll(double scroll);

    // Lays every layer out for the present fields, without animation.
    void layoutContents();
    const IslandLayout::Layout& layout() const { return m_layout; }
    double visibleBottom() const { return m_layout.visibleBottom; }
    const Rect& islandRect() const { return m_layout.islandRect; }
    Point closeCenter() const { return m_layout.closeCenter; }
    Point lastWindowOrigin() const { return m_lastWindowOrigin; }

    double destinationRequiredWidth() const;
    double requiredWidth() const;

    const QSet<QUuid>& itemsInFlight() const { return m_itemsInFlight; }
    void setItemsInFlight(const QSet<QUuid>& items);
    bool catchHighlighted() const { return m_catchHighlighted; }
    void setCatchHighlight(bool on);
    void setClosePressed(bool pressed);

    std::optional<QUuid> itemID(Point point) const;
    qsizetype insertionIndex(Point point) const;

    // Sets the state, lays out, and when `animated` morphs from what was on
    // screen: the outline with `spring`, items with it or, when the state
    // stays, with the reflow spring.
    void setStripState(TarvoState state, bool animated, const Motion::Spring& spring);
    // Slides the island down from above the view's top edge.
    void animateAppear(const Motion::Spring& spring);
    // Slides the island up out of the view; `completion` runs on a later
    // frame once it is out, or at once when there is nothing to slide.
    void animateDisappear(const Motion::Spring& spring, std::function<void()> completion);
    void cancelDisappear();
    bool isDisappearing() const;

    // The layers that travel with the island as one body, in order.
    std::vector<Layer*> ridingLayers() const;

    // The layers, built once.
    std::shared_ptr<ShapeLayer> islandLayer;
    std::shared_ptr<TextLayer> emptyLabel;
    std::shared_ptr<Layer> destinationRow;
    std::shared_ptr<ShapeLayer> faceLift;
    std::shared_ptr<ShapeLayer> faceLiftMask;
    std::shared_ptr<ShapeLayer> closeButton;
    std::shared_ptr<ShapeLayer> closeGlyph;
    std::shared_ptr<Layer> tabGlow;
    std::shared_ptr<Layer> tabRow;
    std::shared_ptr<TextLayer> tabCount;
    std::shared_ptr<Layer> itemsContainer;
    std::shared_ptr<GradientLayer> itemsFade;

private:
    void build();
    void layoutItemFades(double maxScroll);
    void applyContrast();
    void fade(Layer& layer, double to, double duration, const char* key);
    bool reduceMotion() const;

    Animator& m_animator;
    const DisplayOptions& m_display;
    std::shared_ptr<Layer> m_root;
    std::function<void(Layer&, const Rect&)> m_layoutItem;
    std::function<void()> m_hideCaptionChip;

    Size m_viewSize;
    Point m_windowOrigin;
    Point m_lastWindowOrigin;
    TarvoState m_state = TarvoState::hidden;
    double m_islandWidth = 0;
    bool m_showsEmptyHint = false;
    bool m_forcesCloseBadge = false;
    bool m_pointerOverIsland = false;
    bool m_tabGlowDimmed = false;
    bool m_increaseContrast = false;
    bool m_hasDestinations = false;
    Size m_destinationRowSize;
    double m_itemScroll = 0;
    std::size_t itemCount() const;
    QUuid itemAt(std::size_t index) const;
    std::optional<std::size_t> ownIndexOf(const QUuid& id) const;

    // One of the two holds the items: a list of ids with the scene's own
    // index, or a shared list.
    std::vector<QUuid> m_items;
    QHash<QUuid, std::size_t> m_itemIndex;
    std::shared_ptr<const ItemList> m_list;
    std::function<std::optional<std::size_t>(const QUuid&)> m_indexLookup;
    std::map<QUuid, std::shared_ptr<Layer>> m_itemLayers;
    std::set<QUuid> m_placed; // item layers the last layout gave a slot
    QSet<QUuid> m_itemsInFlight;
    bool m_catchHighlighted = false;
    IslandLayout::Layout m_layout;
};

} // namespace tarvo
