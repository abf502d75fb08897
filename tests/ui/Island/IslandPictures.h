#pragma once

#include "AnimationClock.h"
#include "Animator.h"
#include "IslandScene.h"

#include "TarvoPlatform/memory/MemoryDisplayOptions.h"

#include <QImage>
#include <QString>

#include <memory>

namespace tarvo::test {

// A shelf view's island with stand-in item tiles (picture, name, type badge,
// shadow) and destination chips, for golden images and benchmarks.
struct IslandPicture {
    explicit IslandPicture(AnimationClock& clock);

    // Lays the island out in `state` with `items` tiles on a view of the
    // dragging panel's height (132, or 164 with a 32-point notch).
    void show(TarvoState state, int items, bool notched = false, bool chips = false);

    Animator animator;
    MemoryDisplayOptions display;
    IslandScene scene;
};

// A tile standing in for an item layer.
std::shared_ptr<Layer> makeTile(int index);

} // namespace tarvo::test
