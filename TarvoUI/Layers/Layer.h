#pragma once

#include "Animation.h"
#include "LayerProperties.h"
#include "RasterCache.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPainter;

namespace tarvo {

class Animator;

// What the painter tells a layer that draws its own contents.
struct PaintContext {
    double devicePixelRatio = 1;
    // No animation changes the layer now: what it draws may be kept as pixels.
    bool settled = false;
};

// A node of the shelf's layer tree. Its model values are what it shows at
// rest; animations added under keys change what it shows (its presentation)
// while they run, never the model. Setting a value never animates: motion is
// always an explicit animation. A layer reaches its animator and its repaint
// handler through the root of its tree. Main thread only.
class Layer : public std::enable_shared_from_this<Layer> {
public:
    static std::shared_ptr<Layer> make() { return std::shared_ptr<Layer>(new Layer()); }
    virtual ~Layer();

    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    // A name for tests and debugging.
    std::string name;

    // The tree. Sublayers draw in order (later on top), sorted by zPosition.
    void addSublayer(std::shared_ptr<Layer> layer);
    void insertSublayer(std::shared_ptr<Layer> layer, std::size_t index);
    void removeFromSuperlayer();
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return m_sublayers; }
    // Forgets the pixels kept of this layer's drawing and of its sublayers'
    // and mask's; the next paint draws them again.
    void dropCachedPixels();
    bool hasCachedPixels() const {
        return !m_contentsCache.isEmpty() || !m_backgroundCache.isEmpty();
    }
    Layer* superlayer() const { return m_superlayer; }
    // How far this layer's drawing and its sublayers' reach past its bounds;
    // when set, a layer that the paint's device cannot show even by that
    // much is not drawn. Unset (negative): always drawn.
    double paintReach() const { return m_paintReach; }
    void setPaintReach(double reach) { m_paintReach = reach; }
    // The mask's drawn alpha (in this layer's space) limits what this layer
    // and its sublayers show.
    void setMask(std::shared_ptr<Layer> mask);
    Layer* mask() const { return m_mask.get(); }

    // The root of a tree names its animator and what to call when anything in
    // the tree changes (the hosting widget schedules a repaint there).
    void setAnimator(Animator* animator);
    Animator* animator() const { return m_animator; }
    void setDisplayHandler(std::function<void()> handler);
    void setNeedsDisplay();

    const LayerProperties& model() const { return m_model; }
    // What is on screen now: the model with the running animations applied.
    LayerProperties presentation() const;
    LayerProperties presentation(double mediaTime) const;
    LayerValue presentationValue(KeyPath keyPath) const;

    // Any animatable property by key path; a value of the wrong kind is ignored.
    void setValue(KeyPath keyPath, const LayerValue& value);
    LayerValue value(KeyPath keyPath) const { return readProperty(m_model, keyPath); }

    Rect frame() const { return m_model.frame(); }
    void setFrame(const Rect& frame);
    const Rect& bounds() const { return m_model.bounds; }
    void setBounds(const Rect& bounds);
    Point position() const { return m_model.position; }
    void setPosition(Point position);
    void setAnchorPoint(Point anchor);
    void setZPosition(double z);
    void setTransform(const Transform& transform);
    double opacity() const { return m_model.opacity; }
    void setOpacity(double opacity);
    bool isHidden() const { return m_model.hidden; }
    void setHidden(bool hidden);
    void setMasksToBounds(bool masks);
    void setBackgroundColor(const Color& color);
    void setBorder(const Color& color, double width);
    void setCornerRadius(double radius);
    void setShadow(const Color& color, double opacity, double radius, Size offset);
    void setShadowOpacity(double opacity);
    void setShadowRadius(double radius);
    void setShadowPath(std::optional<QPainterPath> path);
    // An image drawn into the bounds, `scale` pixels per point.
    void setContents(const QImage& image, double scale);
    void setContentsGravity(ContentsGravity gravity);
    void setContentsScale(double scale);

    // Animations. Adding under a key that is in use replaces that animation;
    // an animation added inside an open transaction counts towards its
    // completion. Start values left out are taken from the presentation.
    void addAnimation(const Animation& animation, const std::string& key);
    void removeAnimation(std::string_view key);
    void removeAllAnimations();
    const Animation* animation(std::string_view key) const;
    std::vector<std::string> animationKeys() const;
    bool hasAnimations() const { return !m_animations.empty(); }

    // Draws what is particular to this kind of layer (the contents image for a
    // plain layer) in its own space, y upwards; background, border, shadow,
    // sublayers and mask are the painter's.
    virtual void drawContents(QPainter& painter, const LayerProperties& properties,
                              const PaintContext& context) const;
    // The outline that casts the shadow when no shadow path is set.
    virtual QPainterPath shadowShape(const LayerProperties& properties) const;

protected:
    Layer() = default;
    LayerProperties& mutableModel() { return m_model; }
    void changed() { setNeedsDisplay(); }
    // Pixels of what `drawContents` last drew, for a kind of layer whose
    // contents are dear to draw.
    RasterCache& contentsCache() const { return m_contentsCache; }

private:
    friend class Animator;
    friend class LayerPainter;

    struct Running {
        std::string key;
        std::shared_ptr<const Animation> animation;
        double begin = 0;      // resolved media time; NaN until the layer has an animator
        bool finished = false; // its active time is over (it may still fill)
        std::vector<std::uint64_t> transactions;
    };

    void attach(Animator* animator);
    void applyAnimations(LayerProperties& out, double mediaTime) const;
    Layer* root();

    LayerProperties m_model;
    std::vector<std::shared_ptr<Layer>> m_sublayers;
    double m_paintReach = -1;
    std::shared_ptr<Layer> m_mask;
    Layer* m_superlayer = nullptr;
    Layer* m_maskHost = nullptr;
    Animator* m_animator = nullptr;
    std::function<void()> m_displayHandler;
    std::vector<Running> m_animations;
    mutable RasterCache m_contentsCache;
    mutable RasterCache m_backgroundCache;
};

} // namespace tarvo
