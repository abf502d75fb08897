#pragma once

#include "Rect.h"

#include <QPainterPath>

// The shelf's outlines, in points with y upwards.
namespace tarvo::TarvoShape {

// How far a smooth corner's control points lie from its tangent points,
// towards the corner, as a fraction of the corner's radius.
inline constexpr double smoothCornerHandle = 0.706944;

// A rounded rectangle with smooth corners; the radius is at most half the
// shorter side. It starts at (minX + r, minY) and runs counter-clockwise.
QPainterPath squircle(const Rect& rect, double radius);

// The island hanging from the top edge: a `width` by `height` body whose
// lower corners are smooth with `radius` and whose upper corners flare out
// into the edge with concave quarter circles of `flare`. Drawn in the
// island's own space (origin at its lower left); the flares reach out to
// -flare and width + flare. Every outline with a body has the same elements
// in the same order, whatever its sizes, so that any two blend point by
// point (a collapsed one, without height, loses its empty curves).
QPainterPath islandOutline(double width, double height, double radius, double flare);

} // namespace tarvo::TarvoShape
