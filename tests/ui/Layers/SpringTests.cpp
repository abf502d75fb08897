#include "Animation.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tarvo;

namespace {

// The same spring stepped numerically, to check the closed form against.
double integrate(const SpringAnimation& s, double until) {
    double x = 1; // displacement from the target
    double v = -s.initialVelocity;
    const double dt = 1e-6;
    for (double t = 0; t < until; t += dt) {
        // Semi-implicit Euler is stable and accurate enough at this step.
        v += (-s.stiffness * x - s.damping * v) / s.mass * dt;
        x += v * dt;
    }
    return 1 - x;
}

SpringAnimation spring(double stiffness, double damping, double velocity = 0) {
    SpringAnimation s(KeyPath::opacity, 0.0, 1.0);
    s.stiffness = stiffness;
    s.damping = damping;
    s.initialVelocity = velocity;
    return s;
}

} // namespace

TEST(Spring, ClosedFormMatchesTheMotionInEveryDampingRegime) {
    struct Case {
        const char* name;
        SpringAnimation s;
    };
    const Case cases[] = {
        {"under-damped", spring(400, 16)},
        {"critically damped", spring(400, 40)},
        {"over-damped", spring(400, 80)},
        {"under-damped with a push", spring(300, 20, 4)},
        {"over-damped pulled back", spring(100, 40, -3)},
    };
    for (const Case& c : cases) {
        for (double t : {0.02, 0.1, 0.25, 0.6}) {
            EXPECT_NEAR(c.s.progress(t), integrate(c.s, t), 2e-4) << c.name << " at " << t;
        }
    }
}

TEST(Spring, SettlesWhereItStaysWithinTheBound) {
    for (const SpringAnimation& s : {spring(500, 30), spring(400, 40), spring(200, 60)}) {
        const double settled = s.settlingDuration();
        ASSERT_GT(settled, 0);
        // Within the bound from then on...
        for (double t = settled; t < settled + 2; t += 0.001)
            ASSERT_LE(std::abs(1 - s.progress(t)), SpringAnimation::settlingBound + 1e-12) << t;
        // ...and outside it just before.
        EXPECT_GT(std::abs(1 - s.progress(settled - 1e-4)), SpringAnimation::settlingBound);
    }
}

TEST(Spring, AnUndampedSpringNeverSettles) {
    EXPECT_GE(spring(100, 0).settlingDuration(), 1000);
}

TEST(Spring, AnimatesBetweenItsValuesAndOvershoots) {
    SpringAnimation s(KeyPath::position, Point{0, 0}, Point{0, 100});
    s.stiffness = 400;
    s.damping = 10; // lightly damped
    s.duration = 2;
    LayerProperties model;
    LayerProperties out = model;
    double highest = 0;
    for (double t = 0; t < 1; t += 0.005) {
        out = model;
        s.apply(out, model, t);
        highest = std::max(highest, out.position.y);
    }
    EXPECT_GT(highest, 100);
    out = model;
    s.apply(out, model, 1.999);
    EXPECT_NEAR(out.position.y, 100, 0.5);
}
