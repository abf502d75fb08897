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

#include "support/X11TestTools.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>

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

// Watches the drag selection on a connection and a thread of its own, so the
// moment the server tells of a new owner is taken as it arrives.
class SelectionWatch final {
public:
    SelectionWatch() : m_connection(xcb_connect(nullptr, nullptr)) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const char name[] = "XdndSelection";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, std::strlen(name), name), nullptr);
        const xcb_query_extension_reply_t* xfixes =
            xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        std::free(xcb_xfixes_query_version_reply(
            m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr));
        m_event = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
        xcb_xfixes_select_selection_input(m_connection, screen->root, atom->atom,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
        std::free(atom);
        xcb_flush(m_connection);
        m_thread = std::thread([this] {
            while (xcb_generic_event_t* event = xcb_wait_for_event(m_connection)) {
                const auto* e = reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event);
                if ((event->response_type & 0x7f) == m_event && e->owner != XCB_NONE)
                    m_changedAt = nowNanoseconds();
                std::free(event);
            }
        });
    }
    ~SelectionWatch() {
        // Ends the thread's wait.
        ::shutdown(xcb_get_file_descriptor(m_connection), SHUT_RDWR);
        m_thread.join();
        xcb_disconnect(m_connection);
    }
    void reset() { m_changedAt = 0; }
    std::int64_t changedAt() const { return m_changedAt; }

private:
    xcb_connection_t* m_connection;
    quint8 m_event = 0;
    std::atomic<std::int64_t> m_changedAt{0};
    std::thread m_thread;
};

struct Reports final : DragMonitorDelegate {
    std::int64_t beganAt = 0;
    int ended = 0;
    Reports& operator=(const Reports&) = default;
    void dragMonitor(DragMonitor&, QPointF) override { beganAt = nowNanoseconds(); }
    void dragMonitorDragEnded(DragMonitor&) override { ++ended; }
};

void BM_GtkDragReportedWhileThePointerRests(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("dragged.txt"));
    QFile(file).open(QIODevice::WriteOnly);
    QProcess source;
    source.start(QString::fromLocal8Bit(qgetenv("TARVO_GTK_PROBE")),
                 {"source", "--class", "gtksource", "--geometry", "80,120,240,160", "--uri", file});
    std::optional<QPoint> centre;
    test::waitFor(
        [&] {
            while (source.canReadLine()) {
                const QStringList parts = QString::fromUtf8(source.readLine()).split(u' ');
                if (parts.value(0) == QLatin1String("ready"))
                    centre = QPoint(parts.value(1).toInt(), parts.value(2).trimmed().toInt());
            }
            return centre.has_value();
        },
        15000);
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
    SelectionWatch watch;
    test::XTestHand hand({3, 10, 0});

    double worst = 0;
    for (auto _ : state) {
        reports = Reports();
        watch.reset();
        hand.moveTo(*centre);
        test::pump(100);
        hand.press();
        test::pump(100);
        hand.glideTo(*centre + QPoint(15, 0));
        const bool reported = test::waitFor([&] { return reports.beganAt != 0; }, 10000);
        const std::int64_t changedAt = watch.changedAt();
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
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
