#include "QtScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace tarvo {

namespace {

Rect frameOf(const QRect& geometry, const QRect& main) {
    return {double(geometry.x() - main.x()),
            double(main.y() + main.height() - (geometry.y() + geometry.height())),
            double(geometry.width()), double(geometry.height())};
}

QRect mainGeometry() {
    const QScreen* main = QGuiApplication::primaryScreen();
    return main ? main->geometry() : QRect();
}

} // namespace

ScreenMetrics QtScreens::metrics(const QRect& geometry, const QRect& available,
                                 const QRect& mainGeometry) {
    ScreenMetrics metrics;
    metrics.frame = frameOf(geometry, mainGeometry);
    metrics.menuBarHeight = std::max(0, available.y() - geometry.y());
    return metrics;
}

QRect QtScreens::toWindowGeometry(const Rect& frame, const QRect& main) {
    const double top = main.y() + main.height() - (frame.y + frame.height);
    return QRect(int(std::lround(frame.x + main.x())), int(std::lround(top)),
                 int(std::lround(frame.width)), int(std::lround(frame.height)));
}

std::optional<ScreenMetrics> QtScreens::forPointer() {
    if (!qGuiApp)
        return std::nullopt;
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return metrics(screen->geometry(), screen->availableGeometry(), mainGeometry());
}

std::vector<Rect> QtScreens::frames() {
    std::vector<Rect> frames;
    if (!qGuiApp)
        return frames;
    const QRect main = mainGeometry();
    frames.push_back(frameOf(main, main));
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            frames.push_back(frameOf(screen->geometry(), main));
    }
    return frames;
}

QRect QtScreens::toWindowGeometry(const Rect& frame) {
    return toWindowGeometry(frame, mainGeometry());
}

} // namespace tarvo
