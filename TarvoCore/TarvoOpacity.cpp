#include "TarvoOpacity.h"

#include <cmath>

namespace tarvo::TarvoOpacity {

namespace {

struct Mapping {
    double standard;
    double increased;
};

// Tried in order; 0.15 and 0.2 both become 0.3.
constexpr std::array<Mapping, 7> mappings = {{
    {0.08, 0.2},
    {0.12, 0.24},
    {0.15, 0.3},
    {0.2, 0.3},
    {0.6, 0.8},
    {0.7, 0.9},
    {1.0, 1.0},
}};

constexpr double tolerance = 0.0001;

} // namespace

double value(double opacity, bool increaseContrast) {
    if (!increaseContrast)
        return opacity;
    for (const Mapping& m : mappings) {
        if (std::abs(opacity - m.standard) < tolerance)
            return m.increased;
    }
    return opacity;
}

} // namespace tarvo::TarvoOpacity
