// How soon the running tarvo program shows its shelf for a drag started in
// another program: from the moment the X server tells of the source taking
// the drag selection to the moment it tells of the shelf's window being
// mapped, both heard on one connection of the benchmark's own. The source's
// pointer rests once past its drag threshold. Runs under a display with a
// window manager (bench/shelf-map.sh starts Xvfb and openbox); the program and
// the sources are named by $TARVO_PROGRAM, $TARVO_GTK_PROBE and
// $TARVO_DRAG_SOURCE.
#include "BenchRun.h"
#include "X11DragWatch.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QProcess>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <optional>

using namespace tarvo;

namespace {

enum class Source { gtk, qt };

void measure(benchmark::State& state, Source kind) {
    test::TempDir home;
    const QString file = home.write(QStringLiteral("dragged.txt"), "dragged");
    QProcess source;
    if (kind == Source::gtk) {
        source.start(
            QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")),
            {"source", "--class", "gtksource", "--geometry", "80,420,240,160", "--uri", file});
    } else {
        source.start(QString::fromLocal8Bit(qgetenv("TARVO_DRAG_SOURCE")), {"file", file});
    }
    const std::optional<QPoint> centre = test::readyPoint(source, 15000);
    test::TarvoProcess tarvo(home);
    tarvo.start();
    test::X11Windows windows;
    std::optional<xcb_window_t> shelf;
    test::waitFor([&] { return (shelf = windows.panelOf(tarvo.pid())).has_value(); }, 20000);
    if (!centre || !shelf) {
        state.SkipWithError("no display, the source did not start, or tarvo showed no panel "
                            "($TARVO_PROGRAM, $TARVO_GTK_PROBE, $TARVO_DRAG_SOURCE)");
        return;
    }
    bench::X11DragWatch watch(*shelf);
    test::XTestHand hand({3, 10, 0});
    test::pump(500);

    double worst = 0;
    for (auto _ : state) {
        watch.reset();
        bench::startDrag(hand, *centre);
        const bool mapped = test::waitFor([&] { return watch.mappedAt() != 0; }, 10000);
        const std::int64_t ownerAt = watch.ownerAt();
        const std::int64_t mappedAt = watch.mappedAt();
        hand.release();
        // The source is ready for the next drag once it has ended this one,
        // and an empty shelf goes away by itself.
        bool ended = false;
        const bool gone = test::waitFor(
            [&] {
                while (source.canReadLine())
                    ended = ended || source.readLine().startsWith("dropped");
                return ended && watch.unmappedAt() != 0 && !windows.isViewable(*shelf);
            },
            10000);
        test::pump(300);
        if (!mapped || ownerAt == 0 || !gone) {
            state.SkipWithError(!mapped    ? "the shelf did not show"
                                : !ownerAt ? "the drag selection did not change hands"
                                           : "the drag did not end or the shelf did not go away");
            break;
        }
        const double seconds = static_cast<double>(mappedAt - ownerAt) / 1e9;
        worst = std::max(worst, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["worst_ms"] = worst * 1000;
    tarvo.terminate();
    source.kill();
    source.waitForFinished(2000);
}

void BM_ShelfMappedForAGtkDrag(benchmark::State& state) {
    measure(state, Source::gtk);
}
BENCHMARK(BM_ShelfMappedForAGtkDrag)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void BM_ShelfMappedForAQtDrag(benchmark::State& state) {
    measure(state, Source::qt);
}
BENCHMARK(BM_ShelfMappedForAQtDrag)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
