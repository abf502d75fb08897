#pragma once

#include <algorithm>

// Plain geometry in points with y growing upwards, as the shelf's layout and the
// screen metrics use it. Translation to a toolkit's y-down space happens once,
// where a frame is handed to a window.
namespace tarvo {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    // The same area with a non-negative width and height.
    constexpr Rect standardized() const {
        Rect r = *this;
        if (r.width < 0) {
            r.x += r.width;
            r.width = -r.width;
        }
        if (r.height < 0) {
            r.y += r.height;
            r.height = -r.height;
        }
        return r;
    }

    constexpr double minX() const { return std::min(x, x + width); }
    constexpr double maxX() const { return std::max(x, x + width); }
    constexpr double midX() const { return x + width / 2; }
    constexpr double minY() const { return std::min(y, y + height); }
    constexpr double maxY() const { return std::max(y, y + height); }
    constexpr double midY() const { return y + height / 2; }
    constexpr Size size() const { return {width, height}; }

    // Minimum edges belong to the rectangle, maximum edges do not, so two
    // rectangles that share an edge never both contain a point on it.
    constexpr bool contains(Point p) const {
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }

    // Two rectangles are equal when they cover the same area, whichever corner
    // their origin names.
    constexpr bool operator==(const Rect& other) const {
        const Rect a = standardized();
        const Rect b = other.standardized();
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    }
};

} // namespace tarvo
