// The shelf's main thread while a drop copies: a folder of 10,000 small files
// and a 1 GiB file are dropped on the controller's view, and the longest gap
// between two turns of the event loop, from the drop until the item is
// ready, is reported as "longest_gap_ms" (the goal: under 16 ms). Every
// platform service is in memory and the view offscreen; the copies, their
// fingerprints and flushes are real, on the system's temporary folder.
#include "TarvoCore/DiskIO.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/SystemClock.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/memory/MemoryDragSession.h"
#include "TarvoPlatform/memory/MemoryEventMonitors.h"
#include "TarvoPlatform/memory/MemoryFileViewer.h"
#include "TarvoPlatform/memory/MemoryInputState.h"
#include "TarvoPlatform/memory/MemoryPanelWindowSystem.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"
#include "TarvoPlatform/memory/MemoryScreens.h"
#include "TarvoPlatform/memory/MemoryWindowList.h"
#include "TarvoPlatform/memory/MemoryWorkspace.h"
#include "TarvoShell/ShellPlatform.h"
#include "TarvoShell/TarvoController.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <unistd.h>

using namespace tarvo;

namespace {

QTemporaryDir* g_dir = nullptr;
int g_round = 0;

struct MemoryShell {
    MemoryShell() {
        ScreenMetrics screen;
        screen.frame = {0, 0, 1280, 800};
        screens.screens.push_back(screen);
    }
    ShellPlatform platform() {
        ShellPlatform platform{clock,   dragPasteboard, monitors,      input,
                               windows, workspace,      accessibility, applications,
                               drags,   screens,        &windowSystem, {},
                               nullptr};
        platform.fileViewer = &fileViewer;
        return platform;
    }
    SystemClock clock;
    MemoryPasteboard dragPasteboard;
    MemoryEventMonitors monitors;
    MemoryInputState input;
    MemoryWindowList windows;
    MemoryWorkspace workspace;
    MemoryAccessibility accessibility;
    ApplicationDirectory applications{QStringList{}};
    MemoryDragSessions drags;
    MemoryScreens screens;
    MemoryPanelWindowSystem windowSystem;
    MemoryFileViewer fileViewer;
};

// Real bytes, not a sparse file: every extent has to be copied.
QString bigFile() {
    static const QString path = [] {
        const QString p = g_dir->filePath(QStringLiteral("one-gib.bin"));
        QFile file(p);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(p));
        std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
        std::uint64_t state = 0x9E3779B97F4A7C15ull;
        for (int mib = 0; mib < 1024; ++mib) {
            for (auto& word : block) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                word = state;
            }
            file.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
        }
        file.close();
        ::sync();
        return p;
    }();
    return path;
}

// 100 folders of 100 files, 200 to 4,000 bytes each.
QString smallFolder() {
    static const QString path = [] {
        const QString root = g_dir->filePath(QStringLiteral("ten-thousand"));
        for (int i = 0; i < 10000; ++i) {
            const QString folder =
                root + QStringLiteral("/part-%1").arg(i / 100, 3, 10, QChar(u'0'));
            if (i % 100 == 0)
                QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/file-%1.txt").arg(i));
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot write %s", qPrintable(file.fileName()));
            file.write(QByteArray(200 + (i * 37) % 3800, static_cast<char>('a' + i % 26)));
        }
        ::sync();
        return root;
    }();
    return path;
}

// The first argument: 1 with the flushes that make a drop durable, 0 without,
// to see what they cost the main thread. The second: 1 when the shelf was
// shown once before the drop, so that the first show's own work (fonts,
// image plugins, the scene's first pictures) is not counted as the drop's.
void dropAndWatch(benchmark::State& state, const QString& source) {
    DiskIO::setFlushing(state.range(0) != 0);
    double longest = 0;
    double copyMs = 0;
    double dropCall = 0;
    double longestAt = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString folder = g_dir->filePath(QStringLiteral("round-%1").arg(g_round++));
        // Gone after the controller: rounds of 1 GiB copies kept to the end
        // would fill a small disk, and the drop would fail for lack of room.
        struct RemovedAfterwards {
            QString path;
            ~RemovedAfterwards() { QDir(path).removeRecursively(); }
        } round{folder};
        UserDefaults defaults(folder + QStringLiteral("/Tarvo.conf"));
        Preferences preferences(defaults);
        MemoryShell shell;
        TarvoController controller(std::make_unique<ItemStore>(folder + QStringLiteral("/Items")),
                                   std::make_unique<RulesStore>(folder), preferences,
                                   folder + QStringLiteral("/work"), shell.platform());
        controller.start();
        if (state.range(1) != 0) {
            controller.openTarvo();
            QElapsedTimer shown;
            shown.start();
            while (shown.elapsed() < 1500)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        MemoryPasteboard pasteboard;
        pasteboard.setURLs({QUrl::fromLocalFile(source)});
        ::sync();
        state.ResumeTiming();

        // A timer that fires at every turn of the loop notes the gaps.
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        qint64 worst = 0;
        qint64 worstAt = 0;
        QTimer tick;
        tick.setInterval(0);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (now - last > worst) {
                worst = now - last;
                worstAt = now;
            }
            last = now;
        });
        tick.start();
        const qint64 before = clock.nsecsElapsed();
        const bool taken = controller.tarvoView(controller.view(), pasteboard, QPointF(100, 60));
        const qint64 dropped = clock.nsecsElapsed();
        while (taken && controller.receiver().copiesInFlight() > 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
        const qint64 total = clock.nsecsElapsed();
        tick.stop();

        state.PauseTiming();
        if (!taken || controller.store().items().empty() ||
            !controller.store().items().front().state.isReady()) {
            state.SkipWithError("the drop did not land");
            break;
        }
        if (double(worst) / 1e6 > longest)
            longestAt = double(worstAt) / 1e6;
        longest = std::max(longest, double(worst) / 1e6);
        dropCall = std::max(dropCall, double(dropped - before) / 1e6);
        copyMs = std::max(copyMs, double(total) / 1e6);
        controller.stop();
        state.ResumeTiming();
    }
    DiskIO::setFlushing(true);
    state.counters["longest_gap_ms"] = longest;
    state.counters["slowest_drop_ms"] = copyMs;
    // The drop's own call, before the loop turns again.
    state.counters["drop_call_ms"] = dropCall;
    state.counters["longest_gap_ended_ms"] = longestAt;
}

void BM_DropFolderOf10000FilesMainThread(benchmark::State& state) {
    dropAndWatch(state, smallFolder());
}
void BM_DropOneGiBFileMainThread(benchmark::State& state) {
    dropAndWatch(state, bigFile());
}

BENCHMARK(BM_DropFolderOf10000FilesMainThread)
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_DropOneGiBFileMainThread)
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tarvo-drop-stall-XXXXXX"));
    if (!dir.isValid())
        return 1;
    g_dir = &dir;
    const int result = bench::runBenchmarks(argc, argv);
    g_dir = nullptr;
    return result;
}
