// How soon the running tarvo program shows its shelf for a drag started in
// another program: from the moment the X server tells of the source taking
// the drag selection to the moment it tells of the shelf's window being
// mapped, both heard on one connection of the benchmark's own. The source's
// pointer rests once past its drag threshold. Runs under a display with a
// window manager (bench/shelf-map.sh starts Xvfb and openbox); the program and
// the sources are named by $TARVO_PROGRAM, $TARVO_GTK_PROBE and
// $TARVO_DRAG_SOURCE.
//
// The same program's frames over shelves of 0, 2,000 and 20,000 items, taken
// in turn in one run: from the server's word of a GTK drag's selection owner
// to the first damage of the shelf's window, and from a wheel click over the
// opened shelf to the damage after it; with the resident memory once opened.
#include "BenchRun.h"
#include "X11DragWatch.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <benchmark/benchmark.h>

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/ItemStore.h"

#include <QApplication>
#include <QFile>
#include <QProcess>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

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

// Texts added in the last hour, so that none ages out, written through the
// store itself on its background writer.
void fillStore(const QString& root, int count) {
    ItemStore store(root);
    store.setWritesInBackground(true);
    const Date now = Date::now();
    for (int i = 0; i < count; ++i) {
        Item item;
        item.id = QUuid::createUuid();
        item.state = ItemState::ready();
        item.addedAt = now.addingSeconds(-3600.0 + 3000.0 * i / std::max(count, 1));
        const QString text = QStringLiteral("snippet %1 of the long shelf").arg(i);
        item.payload = ItemPayload::text(text);
        item.displayName = text;
        item.contentHash = ContentHash::ofString(text);
        store.add(item);
    }
    store.waitForWrites();
}

double residentMegabytes(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// The process's processor time so far, in clock ticks.
long long cpuTicks(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command's closing parenthesis: utime is the 12th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// Waits until the program has settled after its start: half a second in
// which it used next to no processor time.
void waitUntilIdle(qint64 pid) {
    long long before = cpuTicks(pid);
    for (int turn = 0; turn < 120; ++turn) {
        test::pump(500);
        const long long now = cpuTicks(pid);
        if (now >= 0 && now - before <= 2)
            return;
        before = now;
    }
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Figures {
    std::vector<double> firstFrame; // ms, notification to first damage
    std::vector<double> wheel;      // ms, wheel click to the next damage
    std::vector<double> resident;   // MB, once opened
};

// One turn for one shelf: start the program, one GTK drag to its first
// frame, open the shelf by a second start, wheel clicks, quit. False with
// `error` set when a step did not happen.
bool measureShelf(test::TempDir& home, bool scrolls, QProcess& source, QPoint centre,
                  Figures& figures, const char*& error) {
    test::TarvoProcess tarvo(home);
    tarvo.start();
    test::X11Windows windows;
    std::optional<xcb_window_t> shelf;
    test::waitFor([&] { return (shelf = windows.panelOf(tarvo.pid())).has_value(); }, 60000);
    if (!shelf) {
        error = "tarvo showed no panel";
        return false;
    }
    test::XTestHand hand({3, 10, 0});
    bool ok = true;
    {
        bench::X11DragWatch watch(*shelf);
        bench::X11FrameWatch frames(*shelf);
        if (!frames.ok()) {
            error = "no XDamage on this display";
            return false;
        }
        // A long shelf's program takes a while to read its store and listen.
        waitUntilIdle(tarvo.pid());
        watch.reset();
        bench::startDrag(hand, centre);
        const bool drawn = test::waitFor(
            [&] { return watch.ownerAt() != 0 && frames.firstDamageAfter(watch.ownerAt()) != 0; },
            60000);
        const std::int64_t ownerAt = watch.ownerAt();
        const std::int64_t drawnAt = frames.firstDamageAfter(ownerAt);
        hand.release();
        bool ended = false;
        test::waitFor(
            [&] {
                while (source.canReadLine())
                    ended = ended || source.readLine().startsWith("dropped");
                return ended;
            },
            20000);
        if (!drawn) {
            error = "the shelf drew nothing for the drag";
            ok = false;
        } else {
            figures.firstFrame.push_back(double(drawnAt - ownerAt) / 1e6);
        }

        // Opened by a second start, the shelf rests; the wheel turns over it.
        test::waitFor([&] { return !windows.isViewable(*shelf); }, 20000);
        if (ok && tarvo.startAgain() != 0) {
            error = "a second tarvo did not open the shelf";
            ok = false;
        }
        if (ok && !test::waitFor([&] { return windows.isViewable(*shelf); }, 20000)) {
            error = "the shelf did not open";
            ok = false;
        }
        if (ok) {
            test::pump(1500);
            const QRect panel = windows.rootGeometry(*shelf);
            hand.glideTo({panel.center().x(), panel.top() + 40});
            test::pump(600);
            figures.resident.push_back(residentMegabytes(tarvo.pid()));
            // An empty shelf has nothing to scroll and draws nothing.
            for (int click = 0; scrolls && click < 6; ++click) {
                test::pump(250);
                const std::int64_t at = bench::nowNanoseconds();
                hand.deviceButton(5, true);
                hand.deviceButton(5, false);
                if (test::waitFor([&] { return frames.firstDamageAfter(at) != 0; }, 5000))
                    figures.wheel.push_back(double(frames.firstDamageAfter(at) - at) / 1e6);
            }
        }
    }
    tarvo.terminate();
    return ok;
}

// The shelves take turns, A B C A B C, so that a load that comes and goes
// on a shared machine falls on all of them alike.
void BM_ShelfFramesAt0And2000And20000Items(benchmark::State& state) {
    constexpr std::array<int, 3> sizes{0, 2000, 20000};
    std::map<int, std::unique_ptr<test::TempDir>> homes;
    for (const int size : sizes) {
        homes[size] = std::make_unique<test::TempDir>();
        fillStore(homes[size]->file("data/Tarvo/Items"), size);
    }
    test::TempDir dragHome;
    const QString file = dragHome.write(QStringLiteral("dragged.txt"), "dragged");
    QProcess source;
    source.start(QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")),
                 {"source", "--class", "gtksource", "--geometry", "80,420,240,160", "--uri", file});
    const std::optional<QPoint> centre = test::readyPoint(source, 15000);
    if (!centre) {
        state.SkipWithError("no display or the GTK source did not start ($TARVO_GTK_PROBE)");
        return;
    }
    std::map<int, Figures> figures;
    for (auto _ : state) {
        double round = 0;
        for (const int size : sizes) {
            const char* error = nullptr;
            if (!measureShelf(*homes[size], size > 0, source, *centre, figures[size], error)) {
                state.SkipWithError(error);
                break;
            }
            round += figures[size].firstFrame.back();
        }
        if (state.error_occurred())
            break;
        state.SetIterationTime(round / 1000);
    }
    for (const int size : sizes) {
        const Figures& f = figures[size];
        const std::string n = std::to_string(size);
        state.counters["frame_ms_" + n] = median(f.firstFrame);
        state.counters["frame_max_ms_" + n] =
            f.firstFrame.empty() ? 0 : *std::max_element(f.firstFrame.begin(), f.firstFrame.end());
        state.counters["wheel_ms_" + n] = median(f.wheel);
        state.counters["wheel_max_ms_" + n] =
            f.wheel.empty() ? 0 : *std::max_element(f.wheel.begin(), f.wheel.end());
        state.counters["rss_mb_" + n] = median(f.resident);
    }
    source.kill();
    source.waitForFinished(2000);
}
BENCHMARK(BM_ShelfFramesAt0And2000And20000Items)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
