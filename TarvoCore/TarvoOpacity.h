#pragma once

#include <array>

// The opacity levels of the interface and what each becomes when the user has
// asked for increased contrast.
namespace tarvo::TarvoOpacity {

inline constexpr std::array standard = {0.08, 0.12, 0.15, 0.2, 0.6, 0.7, 1.0};
inline constexpr std::array increasedContrast = {0.2, 0.24, 0.3, 0.8, 0.9, 1.0};

// `opacity` unchanged without increased contrast or when it is no level of
// `standard` (within 0.0001); otherwise its increased-contrast counterpart.
double value(double opacity, bool increaseContrast);

} // namespace tarvo::TarvoOpacity
