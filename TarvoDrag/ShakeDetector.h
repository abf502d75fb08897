#pragma once

#include <deque>

namespace tarvo {

// Tells a shake of the pointer from ordinary movement: three horizontal
// reversals, each after at least `minimumTravel` points in one direction,
// within `window` seconds.
class ShakeDetector final {
public:
    static constexpr double minimumTravel = 40;
    static constexpr double window = 0.6;
    static constexpr int reversals = 3;

    // One pointer position (`x` in points) at `time` (seconds); true when it
    // completes a shake, after which the detector starts afresh.
    bool add(double x, double time);
    void reset();

private:
    bool m_started = false;
    // The farthest point reached in the current direction, and when.
    double m_extreme = 0;
    double m_extremeAt = 0;
    // +1 rightwards, -1 leftwards, 0 before the first travel.
    int m_direction = 0;
    double m_origin = 0;
    std::deque<double> m_turns;
};

} // namespace tarvo
