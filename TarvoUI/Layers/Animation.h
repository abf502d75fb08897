#pragma once

#include "LayerProperties.h"
#include "LayerValue.h"
#include "TimingCurve.h"

#include <limits>
#include <memory>
#include <optional>
#include <vector>

// Explicit animations. An animation changes what a layer shows while it runs,
// never the layer's model values; it is added to a layer under a key, and a
// later animation under the same key replaces it.
namespace tarvo {

// What an animation shows outside its active time.
enum class FillMode {
    removed,   // nothing
    forwards,  // its last value after it ends (while it stays on the layer)
    backwards, // its first value before it begins
    both,
};

class Animation {
public:
    static constexpr double infinite = std::numeric_limits<double>::infinity();

    virtual ~Animation() = default;

    // Media time at which it starts; 0 means the moment it is added.
    double beginTime = 0;
    double duration = 0.25;
    double repeatCount = 1; // `infinite` repeats without end
    FillMode fillMode = FillMode::removed;
    // A finished animation leaves the layer unless this is false.
    bool removedOnCompletion = true;

    double activeDuration() const;
    virtual std::unique_ptr<Animation> clone() const = 0;

    // Fills in a start value left out with what `presented` shows.
    virtual void resolveStart(const LayerProperties& presented) { (void)presented; }
    // Applies the animation `elapsed` seconds after its start (negative before
    // it), honouring its fill mode. `model` supplies an end value left out.
    void apply(LayerProperties& out, const LayerProperties& model, double elapsed) const;

protected:
    Animation() = default;
    Animation(const Animation&) = default;
    Animation& operator=(const Animation&) = default;
    // `time` runs from 0 to `duration` within one repetition.
    virtual void applyLocal(LayerProperties& out, const LayerProperties& model,
                            double time) const = 0;
};

// An animation of one property.
class PropertyAnimation : public Animation {
public:
    KeyPath keyPath = KeyPath::opacity;

protected:
    PropertyAnimation() = default;
    explicit PropertyAnimation(KeyPath path) : keyPath(path) {}
};

// From one value to another along a timing curve. Without `from` it starts
// from what the layer shows when it is added; without `to` it ends at the
// layer's model value.
class BasicAnimation final : public PropertyAnimation {
public:
    BasicAnimation() = default;
    BasicAnimation(KeyPath path, std::optional<LayerValue> from, std::optional<LayerValue> to,
                   double seconds, TimingCurve curve = TimingCurve::linear());

    std::optional<LayerValue> from;
    std::optional<LayerValue> to;
    TimingCurve curve = TimingCurve::linear();

    std::unique_ptr<Animation> clone() const override;
    void resolveStart(const LayerProperties& presented) override;

protected:
    void applyLocal(LayerProperties& out, const LayerProperties& model, double time) const override;
};

// Through a list of values at fractions of the duration (evenly spread when
// `keyTimes` is empty), each stretch along its own curve (linear when absent).
class KeyframeAnimation final : public PropertyAnimation {
public:
    KeyframeAnimation() = default;
    KeyframeAnimation(KeyPath path, std::vector<LayerValue> values, double seconds);

    std::vector<LayerValue> values;
    std::vector<double> keyTimes;
    std::vector<TimingCurve> curves;

    std::unique_ptr<Animation> clone() const override;

protected:
    void applyLocal(LayerProperties& out, const LayerProperties& model, double time) const override;
};

// A damped spring pulling the value from `from` to `to`, evaluated in closed
// form (under-, critically and over-damped). `duration` only says when it is
// taken off; `settlingDuration()` says when it has come to rest.
class SpringAnimation final : public PropertyAnimation {
public:
    // How close to its target, as a fraction of the distance travelled, the
    // motion must stay for the spring to count as settled.
    static constexpr double settlingBound = 0.002;

    SpringAnimation() = default;
    SpringAnimation(KeyPath path, std::optional<LayerValue> from, LayerValue to);

    std::optional<LayerValue> from;
    std::optional<LayerValue> to;
    double mass = 1;
    double stiffness = 100;
    double damping = 10;
    // Towards the target, in distances per second.
    double initialVelocity = 0;

    // The fraction of the way travelled `time` seconds after the start
    // (above 1 while it overshoots).
    double progress(double time) const;
    // The time after which the motion stays within `settlingBound` of the target.
    double settlingDuration() const;

    std::unique_ptr<Animation> clone() const override;
    void resolveStart(const LayerProperties& presented) override;

protected:
    void applyLocal(LayerProperties& out, const LayerProperties& model, double time) const override;
};

// Animations that run together; each member's `beginTime` counts from the
// group's start, and nothing of a member shows after the group's duration.
class AnimationGroup final : public Animation {
public:
    AnimationGroup() = default;
    AnimationGroup(const AnimationGroup& other);
    AnimationGroup& operator=(const AnimationGroup& other);

    std::vector<std::unique_ptr<Animation>> animations;

    void add(const Animation& animation) { animations.push_back(animation.clone()); }

    std::unique_ptr<Animation> clone() const override;
    void resolveStart(const LayerProperties& presented) override;

protected:
    void applyLocal(LayerProperties& out, const LayerProperties& model, double time) const override;
};

} // namespace tarvo
