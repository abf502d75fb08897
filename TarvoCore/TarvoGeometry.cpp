#include "TarvoGeometry.h"

#include <algorithm>
#include <cmath>

namespace tarvo::TarvoGeometry {

namespace {

// The tab's width on a screen without a notch, where nothing sizes it.
constexpr double syntheticTabWidth = 120;

// Whole points, halves away from zero, so a frame never sits on half a pixel
// of a standard-density screen.
double roundedPoint(double value) {
    return std::round(value);
}

} // namespace

double cornerRadiusFor(TarvoState state) {
    return state == TarvoState::tab ? tabCornerRadius : cornerRadius;
}

double stripHeight(TarvoState state) {
    switch (state) {
    case TarvoState::hidden:
        return 0;
    case TarvoState::dragging:
        return dragStripHeight;
    case TarvoState::resting:
        return restStripHeight;
    case TarvoState::tab:
        return tabStripHeight;
    }
    return 0;
}

double stripBottomOffset(TarvoState state) {
    // The strip sits above the chip zone in the tallest (dragging) layout.
    return dragStripHeight + chipZone - stripHeight(state);
}

Rect stripRect(Size panelSize, TarvoState state) {
    return {0, 0, panelSize.width, stripHeight(state)};
}

double topInset(const ScreenMetrics& metrics) {
    return metrics.hasNotch() ? metrics.safeAreaTop : metrics.menuBarHeight;
}

bool fillsTopInset(const ScreenMetrics& metrics) {
    return metrics.hasNotch();
}

double notchCentreX(const ScreenMetrics& metrics) {
    if (metrics.hasNotch())
        return metrics.frame.minX() + metrics.auxLeftWidth + metrics.notchWidth() / 2;
    return metrics.frame.midX();
}

double baseWidth(const ScreenMetrics& metrics, TarvoState state) {
    const bool notch = metrics.hasNotch();
    const double w0 = notch ? metrics.notchWidth() + 2 * flank : syntheticBaseWidth;
    switch (state) {
    case TarvoState::hidden:
    case TarvoState::resting:
        return w0;
    case TarvoState::dragging:
        return std::max(w0, dragCatchWidth);
    case TarvoState::tab:
        return notch ? metrics.notchWidth() + 2 * tabFlank : syntheticTabWidth;
    }
    return w0;
}

Rect panelFrame(const ScreenMetrics& metrics, TarvoState state, double contentWidth) {
    const Rect& screen = metrics.frame;
    const bool notch = metrics.hasNotch();
    // With a notch the panel reaches up into the notch area from the very top.
    const double height = stripHeight(state) + (notch ? metrics.safeAreaTop : 0);
    const double top = notch ? screen.maxY() : screen.maxY() - metrics.menuBarHeight;
    const double width = std::min(screen.width, std::max(baseWidth(metrics, state), contentWidth));
    double left = notchCentreX(metrics) - width / 2;
    left = std::min(left, screen.maxX() - width);
    left = std::max(left, screen.minX());
    return {roundedPoint(left), roundedPoint(top - height), width, height};
}

Rect panelFrame(const ScreenMetrics& metrics, double contentWidth, double extraHeight) {
    Rect frame = panelFrame(metrics, TarvoState::dragging, contentWidth);
    const double grow = chipZone + extraHeight;
    frame.y -= grow;
    frame.height += grow;
    return frame;
}

} // namespace tarvo::TarvoGeometry
