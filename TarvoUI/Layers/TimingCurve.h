#pragma once

// How an animation's progress runs over its duration: a cubic Bezier from
// (0, 0) to (1, 1) through two control points, as the named curves define.
namespace tarvo {

struct TimingCurve {
    double c1x = 0;
    double c1y = 0;
    double c2x = 1;
    double c2y = 1;

    static constexpr TimingCurve linear() { return {0, 0, 1, 1}; }
    static constexpr TimingCurve easeIn() { return {0.42, 0, 1, 1}; }
    static constexpr TimingCurve easeOut() { return {0, 0, 0.58, 1}; }
    static constexpr TimingCurve easeInEaseOut() { return {0.42, 0, 0.58, 1}; }
    // The curve of an animation that names none.
    static constexpr TimingCurve standard() { return {0.25, 0.1, 0.25, 1}; }

    // The eased progress for a time fraction in [0, 1].
    double value(double fraction) const;

    bool operator==(const TimingCurve&) const = default;
};

} // namespace tarvo
