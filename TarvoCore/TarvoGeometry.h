#pragma once

#include "Rect.h"
#include "ScreenMetrics.h"
#include "TarvoState.h"

// Where the island hangs from the top of a screen and how big it is in each
// state: around the notch on a screen with one, under the top panel otherwise.
// Global screen coordinates, y upwards, so a screen's top is its frame's maxY.
namespace tarvo::TarvoGeometry {

inline constexpr double flank = 28;
inline constexpr double syntheticBaseWidth = 200;
inline constexpr double restStripHeight = 92;
inline constexpr double dragStripHeight = 92;
inline constexpr double tabStripHeight = 0;
inline constexpr double chipZone = 40;
inline constexpr double cornerRadius = 32;
inline constexpr double tabCornerRadius = 10;
inline constexpr double flareRadius = 10;
inline constexpr double dragCatchWidth = 360;
inline constexpr double tabFlank = 0;
inline constexpr double tabGlowHeight = 3;
inline constexpr double tabGlowInset = 5;
inline constexpr double chipRowInset = 40;

double cornerRadiusFor(TarvoState state);
double stripHeight(TarvoState state);
double stripBottomOffset(TarvoState state);
Rect stripRect(Size panelSize, TarvoState state);

// The height of the notch area on a notched screen, else of the top panel.
double topInset(const ScreenMetrics& metrics);
// Whether the island covers the notch area rather than hanging below the panel.
bool fillsTopInset(const ScreenMetrics& metrics);
double notchCentreX(const ScreenMetrics& metrics);

// The island's width before its content is considered.
double baseWidth(const ScreenMetrics& metrics, TarvoState state);
// The shelf panel's frame: at least the base width, at most the screen's
// width, centred on the notch (or the screen) and kept on the screen; its
// origin is rounded to whole points, halves away from zero.
Rect panelFrame(const ScreenMetrics& metrics, TarvoState state, double contentWidth);
// The dragging frame grown downwards by the chip zone and `extraHeight`.
Rect panelFrame(const ScreenMetrics& metrics, double contentWidth, double extraHeight);

} // namespace tarvo::TarvoGeometry
