#include "Animation.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

// The spring's displacement from its target, 1 at the start, and a bound on
// its size from `time` on.
struct SpringMotion {
    double omega0;   // undamped angular frequency
    double zeta;     // damping ratio
    double velocity; // initial rate of change of the displacement

    double displacement(double t) const {
        if (zeta < 1) {
            const double omegaD = omega0 * std::sqrt(1 - zeta * zeta);
            const double b = (velocity + zeta * omega0) / omegaD;
            return std::exp(-zeta * omega0 * t) * (std::cos(omegaD * t) + b * std::sin(omegaD * t));
        }
        if (zeta == 1)
            return std::exp(-omega0 * t) * (1 + (velocity + omega0) * t);
        const double root = std::sqrt(zeta * zeta - 1);
        const double r1 = -omega0 * (zeta - root);
        const double r2 = -omega0 * (zeta + root);
        const double c2 = (velocity - r1) / (r2 - r1);
        const double c1 = 1 - c2;
        return c1 * std::exp(r1 * t) + c2 * std::exp(r2 * t);
    }

    double envelope(double t) const {
        if (zeta < 1) {
            const double omegaD = omega0 * std::sqrt(1 - zeta * zeta);
            const double b = (velocity + zeta * omega0) / omegaD;
            return std::exp(-zeta * omega0 * t) * std::sqrt(1 + b * b);
        }
        if (zeta == 1)
            return std::exp(-omega0 * t) * (1 + std::abs(velocity + omega0) * t);
        const double root = std::sqrt(zeta * zeta - 1);
        const double r1 = -omega0 * (zeta - root);
        const double r2 = -omega0 * (zeta + root);
        const double c2 = (velocity - r1) / (r2 - r1);
        const double c1 = 1 - c2;
        return std::abs(c1) * std::exp(r1 * t) + std::abs(c2) * std::exp(r2 * t);
    }
};

SpringMotion motionOf(const SpringAnimation& spring) {
    const double mass = spring.mass > 0 ? spring.mass : 1;
    const double stiffness = std::max(spring.stiffness, 1e-9);
    const double omega0 = std::sqrt(stiffness / mass);
    const double zeta = std::max(spring.damping, 0.0) / (2 * std::sqrt(stiffness * mass));
    return {omega0, zeta, -spring.initialVelocity};
}

} // namespace

double Animation::activeDuration() const {
    const double repeats = repeatCount > 0 ? repeatCount : 1;
    return std::max(duration, 0.0) * repeats;
}

void Animation::apply(LayerProperties& out, const LayerProperties& model, double elapsed) const {
    const double active = activeDuration();
    if (elapsed < 0) {
        if (fillMode == FillMode::backwards || fillMode == FillMode::both)
            applyLocal(out, model, 0);
        return;
    }
    if (elapsed >= active) {
        if (fillMode == FillMode::forwards || fillMode == FillMode::both)
            applyLocal(out, model, std::max(duration, 0.0));
        return;
    }
    if (duration <= 0) {
        applyLocal(out, model, 0);
        return;
    }
    applyLocal(out, model, std::fmod(elapsed, duration));
}

BasicAnimation::BasicAnimation(KeyPath path, std::optional<LayerValue> fromValue,
                               std::optional<LayerValue> toValue, double seconds,
                               TimingCurve timing)
    : PropertyAnimation(path), from(std::move(fromValue)), to(std::move(toValue)), curve(timing) {
    duration = seconds;
}

std::unique_ptr<Animation> BasicAnimation::clone() const {
    return std::make_unique<BasicAnimation>(*this);
}

void BasicAnimation::resolveStart(const LayerProperties& presented) {
    if (!from)
        from = readProperty(presented, keyPath);
}

void BasicAnimation::applyLocal(LayerProperties& out, const LayerProperties& model,
                                double time) const {
    const LayerValue start = from ? *from : readProperty(out, keyPath);
    const LayerValue end = to ? *to : readProperty(model, keyPath);
    const double fraction = duration > 0 ? curve.value(time / duration) : 1;
    writeProperty(out, keyPath, interpolate(start, end, fraction));
}

KeyframeAnimation::KeyframeAnimation(KeyPath path, std::vector<LayerValue> keyValues,
                                     double seconds)
    : PropertyAnimation(path), values(std::move(keyValues)) {
    duration = seconds;
}

std::unique_ptr<Animation> KeyframeAnimation::clone() const {
    return std::make_unique<KeyframeAnimation>(*this);
}

void KeyframeAnimation::applyLocal(LayerProperties& out, const LayerProperties&,
                                   double time) const {
    if (values.empty())
        return;
    const std::size_t n = values.size();
    if (n == 1) {
        writeProperty(out, keyPath, values.front());
        return;
    }
    const double fraction = duration > 0 ? std::clamp(time / duration, 0.0, 1.0) : 1;
    auto keyTime = [&](std::size_t i) {
        if (keyTimes.size() == n)
            return keyTimes[i];
        return static_cast<double>(i) / static_cast<double>(n - 1);
    };
    std::size_t segment = 0;
    while (segment + 2 < n && fraction >= keyTime(segment + 1))
        ++segment;
    const double t0 = keyTime(segment);
    const double t1 = keyTime(segment + 1);
    double local = t1 > t0 ? std::clamp((fraction - t0) / (t1 - t0), 0.0, 1.0) : 1;
    if (segment < curves.size())
        local = curves[segment].value(local);
    writeProperty(out, keyPath, interpolate(values[segment], values[segment + 1], local));
}

SpringAnimation::SpringAnimation(KeyPath path, std::optional<LayerValue> fromValue,
                                 LayerValue toValue)
    : PropertyAnimation(path), from(std::move(fromValue)), to(std::move(toValue)) {}

double SpringAnimation::progress(double time) const {
    if (time <= 0)
        return 0;
    return 1 - motionOf(*this).displacement(time);
}

double SpringAnimation::settlingDuration() const {
    const SpringMotion motion = motionOf(*this);
    // Past `horizon` the motion's bound keeps it within the limit.
    constexpr double longest = 10000;
    double horizon = 1.0 / 64;
    while (motion.envelope(horizon) > settlingBound && horizon < longest)
        horizon *= 2;
    if (horizon >= longest)
        return longest;
    // The last moment before the horizon at which it strays outside the limit.
    const double step = horizon / 65536;
    double t = horizon;
    while (t > 0 && std::abs(motion.displacement(t)) <= settlingBound)
        t -= step;
    if (t <= 0)
        return 0;
    double inside = std::min(t + step, horizon);
    double outside = t;
    for (int i = 0; i < 50; ++i) {
        const double mid = (inside + outside) / 2;
        if (std::abs(motion.displacement(mid)) > settlingBound)
            outside = mid;
        else
            inside = mid;
    }
    return inside;
}

std::unique_ptr<Animation> SpringAnimation::clone() const {
    return std::make_unique<SpringAnimation>(*this);
}

void SpringAnimation::resolveStart(const LayerProperties& presented) {
    if (!from)
        from = readProperty(presented, keyPath);
}

void SpringAnimation::applyLocal(LayerProperties& out, const LayerProperties& model,
                                 double time) const {
    const LayerValue start = from ? *from : readProperty(out, keyPath);
    const LayerValue end = to ? *to : readProperty(model, keyPath);
    // At the end of its duration the spring counts as settled: what it holds
    // from then on is the target itself.
    const double fraction = time >= duration ? 1 : progress(time);
    writeProperty(out, keyPath, interpolate(start, end, fraction));
}

AnimationGroup::AnimationGroup(const AnimationGroup& other) : Animation(other) {
    for (const auto& member : other.animations)
        animations.push_back(member->clone());
}

AnimationGroup& AnimationGroup::operator=(const AnimationGroup& other) {
    if (this != &other) {
        Animation::operator=(other);
        animations.clear();
        for (const auto& member : other.animations)
            animations.push_back(member->clone());
    }
    return *this;
}

std::unique_ptr<Animation> AnimationGroup::clone() const {
    return std::make_unique<AnimationGroup>(*this);
}

void AnimationGroup::resolveStart(const LayerProperties& presented) {
    for (auto& member : animations)
        member->resolveStart(presented);
}

void AnimationGroup::applyLocal(LayerProperties& out, const LayerProperties& model,
                                double time) const {
    for (const auto& member : animations)
        member->apply(out, model, time - member->beginTime);
}

} // namespace tarvo
