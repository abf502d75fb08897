// How soon the running tarvo program shows its shelf for a drag started in
// another program: from the moment the X server tells of the source taking
// the drag selection to the moment it tells of the shelf's window being
// mapped, both heard on one connection of the benchmark's own. The source's
// pointer rests once past its drag threshold. Runs under a display with a
// window manager (bench/shelf-map.sh starts Xvfb and openbox); the program and
// the sources are named by $TARVO_PROGRAM, $TARVO_GTK_PROBE and
// $TARVO_DRAG_SOURCE.
#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QProcess>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <thread>

using namespace tarvo;

namespace {

std::int64_t nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Listens on a thread and a connection of its own for new owners of the drag
// selection and for the shelf window's maps and unmaps, taking the time of
// each as it arrives.
class ServerWatch final {
public:
    explicit ServerWatch(xcb_window_t shelf) : m_connection(xcb_connect(nullptr, nullptr)) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const char name[] = "XdndSelection";
        test::Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, quint16(std::strlen(name)), name),
            nullptr));
        test::Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
            m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr));
        const xcb_query_extension_reply_t* xfixes =
            xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        m_selectionEvent = quint8(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
        xcb_xfixes_select_selection_input(m_connection, screen->root, atom->atom,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
        const quint32 mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, shelf, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
        m_thread = std::thread([this] {
            while (xcb_generic_event_t* event = xcb_wait_for_event(m_connection)) {
                const quint8 type = event->response_type & 0x7f;
                const auto* selection =
                    reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event);
                if (type == m_selectionEvent && selection->owner != XCB_NONE)
                    m_ownerAt = nowNanoseconds();
                else if (type == XCB_MAP_NOTIFY)
                    m_mappedAt = nowNanoseconds();
                else if (type == XCB_UNMAP_NOTIFY)
                    m_unmappedAt = nowNanoseconds();
                std::free(event);
            }
        });
    }
    ~ServerWatch() {
        // Ends the thread's wait.
        ::shutdown(xcb_get_file_descriptor(m_connection), SHUT_RDWR);
        m_thread.join();
        xcb_disconnect(m_connection);
    }
    ServerWatch(const ServerWatch&) = delete;
    ServerWatch& operator=(const ServerWatch&) = delete;

    void reset() {
        m_ownerAt = 0;
        m_mappedAt = 0;
        m_unmappedAt = 0;
    }
    std::int64_t ownerAt() const { return m_ownerAt; }
    std::int64_t mappedAt() const { return m_mappedAt; }
    std::int64_t unmappedAt() const { return m_unmappedAt; }

private:
    xcb_connection_t* m_connection;
    quint8 m_selectionEvent = 0;
    std::atomic<std::int64_t> m_ownerAt{0};
    std::atomic<std::int64_t> m_mappedAt{0};
    std::atomic<std::int64_t> m_unmappedAt{0};
    std::thread m_thread;
};

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
    ServerWatch watch(*shelf);
    test::XTestHand hand({3, 10, 0});
    test::pump(500);

    double worst = 0;
    for (auto _ : state) {
        watch.reset();
        hand.moveTo(*centre);
        test::pump(100);
        hand.press();
        test::pump(100);
        hand.glideTo(*centre + QPoint(15, 0));
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
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
