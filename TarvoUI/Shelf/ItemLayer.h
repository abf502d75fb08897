#pragma once

#include "Layer.h"
#include "ShapeLayer.h"
#include "TextLayer.h"

#include "TarvoCore/Item.h"

#include <QImage>
#include <QUuid>

#include <functional>

#include <memory>
#include <optional>

namespace tarvo {

// One item of the shelf's strip: a rounded tile with the item's picture, a
// veil with a progress arc or a warning while it is not ready, a selection
// ring, a pinned dot, a type badge and the name under the tile. It owns no
// model: the view pushes the item and its picture in. Main thread only.
class ItemLayer final : public Layer {
public:
    static std::shared_ptr<ItemLayer> make(const QUuid& itemID);

    const QUuid& itemID() const { return m_itemID; }
    // Takes the layer over for another item, as a strip that scrolls reuses
    // the tiles that left the view: every motion stops and the touch state,
    // selection and picture are back at rest. The caller applies the item.
    void reuse(const QUuid& itemID);
    void setContentsScale(double scale);

    // Places the layer and its parts for one slot of the strip.
    void layout(const Rect& slot);
    // Shows the item's data and state. With `increaseContrast` the tile gets
    // a light edge and the name full white, so it stands out on the island.
    // `isFolder`: the stored file is known to be a folder, which shows no
    // type badge.
    void apply(const Item& item, const std::optional<QImage>& thumbnail, bool increaseContrast,
               bool isFolder = false);
    void setSelected(bool selected, const Color& accent);
    void setHovered(bool hovered, bool reduceMotion);
    void setPressed(bool pressed, bool reduceMotion);
    // The arrival of a newly landed item: springs up to size and fades in
    // over a swelling light, its name a moment later; with Reduce Motion
    // only a short scale and fade.
    void animateLanding(bool reduceMotion);
    // The leaving of a removed item: shrinks and fades out, then stays
    // invisible; `completion` runs once it has finished.
    void animateRemoval(std::function<void()> completion);

    bool isSelected() const { return m_isSelected; }
    bool isHovered() const { return m_isHovered; }
    bool isPressed() const { return m_isPressed; }
    bool increaseContrast() const { return m_increaseContrast; }
    const QString& typeText() const { return m_typeText; }

    std::shared_ptr<Layer> well;
    std::shared_ptr<Layer> thumbnail;
    std::shared_ptr<Layer> content;
    std::shared_ptr<Layer> dim;
    std::shared_ptr<ShapeLayer> selectionRing;
    std::shared_ptr<ShapeLayer> progressRing;
    std::shared_ptr<ShapeLayer> failureGlyph;
    std::shared_ptr<TextLayer> nameLabel;
    std::shared_ptr<Layer> typeBadge;
    std::shared_ptr<TextLayer> typeBadgeText;
    std::shared_ptr<Layer> pinnedDot;

private:
    explicit ItemLayer(const QUuid& itemID);
    void build();
    void layoutParts(const Rect& slot);
    void applyTouchState(bool reduceMotion);
    void spin();
    void removeBloom();

    QUuid m_itemID;
    bool m_increaseContrast = false;
    bool m_isSelected = false;
    bool m_isHovered = false;
    bool m_isPressed = false;
    QString m_typeText;
    std::weak_ptr<Layer> m_bloom;
    bool m_laidOut = false;
};

} // namespace tarvo
