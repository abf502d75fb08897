#include "Motion.h"

#include <cmath>
#include <map>
#include <numbers>
#include <utility>

namespace tarvo::Motion {

double Spring::stiffness() const {
    const double omega = 2 * std::numbers::pi / response;
    return omega * omega;
}

double Spring::damping() const {
    return 4 * std::numbers::pi * dampingFraction / response;
}

double Spring::settlingDuration() const {
    // Each spring is asked for its duration at every animation it makes.
    static std::map<std::pair<double, double>, double> known;
    const auto key = std::make_pair(response, dampingFraction);
    if (const auto it = known.find(key); it != known.end())
        return it->second;
    SpringAnimation probe(KeyPath::opacity, 0.0, 1.0);
    probe.mass = 1;
    probe.stiffness = stiffness();
    probe.damping = damping();
    probe.initialVelocity = 0;
    const double settled = probe.settlingDuration();
    known.emplace(key, settled);
    return settled;
}

double Spring::duration() const {
    return std::min(settlingDuration(), ceiling);
}

const Spring& extend() {
    static const Spring spring{0.32, 0.82, "tarvo extends"};
    return spring;
}

const Spring& retract() {
    static const Spring spring{0.26, 0.90, "tarvo retracts"};
    return spring;
}

const Spring& land() {
    static const Spring spring{0.28, 0.70, "item lands"};
    return spring;
}

const Spring& reflow() {
    static const Spring spring{0.30, 0.85, "items reflow"};
    return spring;
}

std::array<Spring, 4> allSprings() {
    return {extend(), retract(), land(), reflow()};
}

std::array<double, 5> allDurations() {
    return {removeDuration, badgeDuration, hoverDuration, pressDuration, reducedMotionDuration};
}

std::unique_ptr<PropertyAnimation> animation(const Spring& spring, KeyPath keyPath,
                                             std::optional<LayerValue> from, LayerValue to,
                                             bool reduceMotion) {
    if (reduceMotion) {
        return std::make_unique<BasicAnimation>(keyPath, std::move(from), std::move(to),
                                                reducedMotionDuration, TimingCurve::easeOut());
    }
    auto result = std::make_unique<SpringAnimation>(keyPath, std::move(from), std::move(to));
    result->mass = 1;
    result->stiffness = spring.stiffness();
    result->damping = spring.damping();
    result->initialVelocity = 0;
    result->duration = spring.duration();
    return result;
}

BasicAnimation timed(KeyPath keyPath, std::optional<LayerValue> from, LayerValue to,
                     double duration, TimingCurve curve) {
    return BasicAnimation(keyPath, std::move(from), std::move(to), duration, curve);
}

} // namespace tarvo::Motion
