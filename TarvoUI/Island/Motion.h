#pragma once

#include "Animation.h"
#include "TimingCurve.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

// The shelf's motion: its springs, durations and scales, and the two
// factories every layer animation of the shelf is made with.
namespace tarvo::Motion {

// A spring described by how it feels; the physics follows for a mass of 1.
struct Spring {
    double response = 0;        // seconds: the period of the undamped swing
    double dampingFraction = 0; // of critical damping
    std::string name;

    double stiffness() const;
    double damping() const;
    // The time after which a spring animation with these values, starting at
    // rest, stays within `SpringAnimation::settlingBound` of its target.
    double settlingDuration() const;
    // The settling duration, at most `ceiling`.
    double duration() const;

    bool operator==(const Spring&) const = default;
};

inline constexpr double ceiling = 0.40;
inline constexpr double reducedMotionDuration = 0.12;
inline constexpr double removeDuration = 0.14;
inline constexpr double badgeDuration = 0.12;
inline constexpr double hoverDuration = 0.12;
inline constexpr double pressDuration = 0.08;
inline constexpr double fadeDuration = 0.12;
inline constexpr double hoverScale = 1.04;
inline constexpr double pressScale = 0.96;
inline constexpr double landFromScale = 0.6;
inline constexpr double removeToScale = 0.85;

const Spring& extend();
const Spring& retract();
const Spring& land();
const Spring& reflow();

// The four springs, and the five plain durations, in a fixed order.
std::array<Spring, 4> allSprings();
std::array<double, 5> allDurations();

// A spring animation of `keyPath` (mass 1, the spring's stiffness and
// damping, at rest at the start, lasting the spring's duration); with Reduce
// Motion, a 0.12-second ease-out animation between the same values.
std::unique_ptr<PropertyAnimation> animation(const Spring& spring, KeyPath keyPath,
                                             std::optional<LayerValue> from, LayerValue to,
                                             bool reduceMotion);
// A basic animation between two values over `duration` along `curve`.
BasicAnimation timed(KeyPath keyPath, std::optional<LayerValue> from, LayerValue to,
                     double duration, TimingCurve curve);

} // namespace tarvo::Motion
