// How soon a drag from another program is reported: from the moment the X
// server tells of the source taking the drag selection to the drag monitor's
// report, for a GTK 3 source whose pointer rests once past its threshold.
// Runs under a display with a window manager (bench/drag-report.sh starts
// Xvfb and openbox); the GTK source is the test suite's probe, named by
// $TARVO_GTK_PROBE.
#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoDrag/DragMonitor.h"
#include "TarvoDrag/DragMonitorDelegate.h"
#include "TarvoPlatform/SystemClock.h"
#include "TarvoPlatform/x11/X11Platform.h"

#include "BenchRun.h"
#include "X11DragWatch.h"

#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <optional>

using namespace tarvo;

namespace {

struct Reports final : DragMonitorDelegate {
    std::int64_t beganAt = 0;
    int ended = 0;
    Reports& operator=(const Reports&) = default;
    void dragMonitor(DragMonitor&, QPointF) override { beganAt = bench::nowNanoseconds(); }
    void dragMonitorDragEnded(DragMonitor&) override { ++ended; }
};

void BM_GtkDragReportedWhileThePointerRests(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("dragged.txt"));
    QFile(file).open(QIODevice::WriteOnly);
    QProcess source;
    source.start(QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")),
                 {"source", "--class", "gtksource", "--geometry", "80,120,240,160", "--uri", file});
    const std::optional<QPoint> centre = test::readyPoint(source, 15000);
    std::unique_ptr<X11Platform> platform = X11Platform::open();
    if (!centre || !platform) {
        state.SkipWithError("no display, or the GTK source did not start ($TARVO_GTK_PROBE)");
        return;
    }
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    Preferences preferences(defaults);
    SystemClock clock;
    DragMonitor monitor(preferences, platform->dragPasteboard(), platform->eventMonitors(),
                        platform->inputState(), clock);
    Reports reports;
    monitor.setDelegate(&reports);
    monitor.start();
    bench::X11DragWatch watch;
    test::XTestHand hand({3, 10, 0});

    double worst = 0;
    for (auto _ : state) {
        reports = Reports();
        watch.reset();
        bench::startDrag(hand, *centre);
        const bool reported = test::waitFor([&] { return reports.beganAt != 0; }, 10000);
        const std::int64_t changedAt = watch.ownerAt();
        hand.release();
        test::waitFor([&] { return reports.ended > 0; }, 5000);
        test::pump(150);
        if (!reported || changedAt == 0) {
            state.SkipWithError(reported ? "the selection change was not seen"
                                         : "the drag was not reported");
            break;
        }
        const double seconds = static_cast<double>(reports.beganAt - changedAt) / 1e9;
        worst = std::max(worst, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["worst_ms"] = worst * 1000;
    source.kill();
    source.waitForFinished(2000);
}
BENCHMARK(BM_GtkDragReportedWhileThePointerRests)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
