// Drawing the island: one frame of the resting island with twelve items, and
// a whole morph on the real frame clock, counting frames against the clock.
#include "ui/Island/IslandPictures.h"

#include "LayerPainter.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QTimer>

using namespace tarvo;

namespace {

void restingFrame(benchmark::State& state) {
    const double ratio = static_cast<double>(state.range(0));
    SteppedAnimationClock clock;
    test::IslandPicture island(clock);
    island.show(TarvoState::resting, 12);
    const Rect bounds = island.scene.root()->bounds();
    QImage target(static_cast<int>(bounds.width * ratio), static_cast<int>(bounds.height * ratio),
                  QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(ratio);
    LayerPainter painter;
    for (auto _ : state) {
        target.fill(Qt::transparent);
        QPainter p(&target);
        painter.paint(p, *island.scene.root(), bounds.height, ratio);
    }
    state.counters["width_px"] = target.width();
    state.counters["height_px"] = target.height();
}
BENCHMARK(restingFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The resting island with twelve items folds into the tab and unfolds again
// (0.4 s each) at ratio 2; every frame is drawn when the clock ticks, as the
// view does it. Dropped frames are the clock's: ticks that came too late.
void morphAtSixtyFrames(benchmark::State& state) {
    constexpr double ratio = 2;
    for (auto _ : state) {
        FrameClock clock(60);
        test::IslandPicture island(clock);
        island.show(TarvoState::resting, 12);
        const Rect bounds = island.scene.root()->bounds();
        QImage target(static_cast<int>(bounds.width * ratio),
                      static_cast<int>(bounds.height * ratio), QImage::Format_ARGB32_Premultiplied);
        target.setDevicePixelRatio(ratio);
        LayerPainter painter;
        long long drawn = 0;
        double slowest = 0;
        bool pending = false;
        QTimer repaint;
        repaint.setSingleShot(true);
        QObject::connect(&repaint, &QTimer::timeout, [&] {
            pending = false;
            QElapsedTimer took;
            took.start();
            target.fill(Qt::transparent);
            QPainter p(&target);
            painter.paint(p, *island.scene.root(), bounds.height, ratio);
            slowest = std::max(slowest, took.nsecsElapsed() / 1e6);
            ++drawn;
        });
        island.scene.root()->setDisplayHandler([&] {
            if (!pending) {
                pending = true;
                repaint.start(0);
            }
        });
        const long long droppedBefore = clock.framesDropped();
        const long long tickedBefore = clock.framesTicked();
        QElapsedTimer elapsed;
        elapsed.start();
        island.scene.setIslandWidth(120);
        island.scene.setStripState(TarvoState::tab, true, Motion::extend());
        while (island.animator.isAnimating() || pending)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        island.scene.setIslandWidth(IslandLayout::requiredWidth(12));
        island.scene.setStripState(TarvoState::resting, true, Motion::extend());
        while (island.animator.isAnimating() || pending)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double seconds = elapsed.nsecsElapsed() / 1e9;
        state.counters["seconds"] = seconds;
        state.counters["frames_ticked"] = static_cast<double>(clock.framesTicked() - tickedBefore);
        state.counters["frames_drawn"] = static_cast<double>(drawn);
        state.counters["frames_dropped"] =
            static_cast<double>(clock.framesDropped() - droppedBefore);
        state.counters["slowest_frame_ms"] = slowest;
    }
}
BENCHMARK(morphAtSixtyFrames)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    bench::defaultPlatform("offscreen");
    QGuiApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
