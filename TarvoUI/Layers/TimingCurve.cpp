#include "TimingCurve.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

// One coordinate of the cubic Bezier through 0, p1, p2, 1 at parameter s.
double bezier(double p1, double p2, double s) {
    const double u = 1 - s;
    return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
}

double bezierSlope(double p1, double p2, double s) {
    const double u = 1 - s;
    return 3 * u * u * p1 + 6 * u * s * (p2 - p1) + 3 * s * s * (1 - p2);
}

} // namespace

double TimingCurve::value(double fraction) const {
    const double x = std::clamp(fraction, 0.0, 1.0);
    if (x <= 0 || x >= 1)
        return x;
    // Newton steps on x(s) = x, falling back to bisection where the slope is flat.
    double s = x;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(c1x, c2x, s) - x;
        if (std::abs(error) < 1e-9)
            return bezier(c1y, c2y, s);
        const double slope = bezierSlope(c1x, c2x, s);
        if (std::abs(slope) < 1e-6)
            break;
        s = std::clamp(s - error / slope, 0.0, 1.0);
    }
    double lo = 0;
    double hi = 1;
    s = x;
    for (int i = 0; i < 60; ++i) {
        const double bx = bezier(c1x, c2x, s);
        if (std::abs(bx - x) < 1e-9)
            break;
        if (bx < x)
            lo = s;
        else
            hi = s;
        s = (lo + hi) / 2;
    }
    return bezier(c1y, c2y, s);
}

} // namespace tarvo
