// The shelf's first unfold in a program that has just started with an empty
// store: from the request to open the shelf to its first frame painted and
// handed to the window system. A hidden shelf keeps no fonts, desktop
// settings or pictures, so the first unfold loads and draws them all; the
// unfold after a fold (counter "again_ms") draws them anew from what the
// process keeps. Each run is a process of its own, so that every first
// unfold is a real first one. Needs an X display (bench/first-unfold.sh
// brings one).
#include "TarvoApp/Alerts.h"
#include "TarvoApp/AppDelegate.h"
#include "TarvoApp/Application.h"
#include "TarvoShell/TarvoController.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvo;

namespace {

class SilentAlerts final : public Alerts {
public:
    void showFailure(const QString& message) override {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(message));
    }
    bool explain(const QString&, const QString&, const QString&) override { return false; }
};

// Calls `done` once the view has painted and the event loop has turned
// after that paint, which flushes the frame to the window.
class FirstPaint final : public QObject {
public:
    explicit FirstPaint(std::function<void()> done) : m_done(std::move(done)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_done) {
            QTimer::singleShot(0, this, [this] {
                if (auto done = std::exchange(m_done, nullptr))
                    done();
            });
        }
        return false;
    }

private:
    std::function<void()> m_done;
};

// Waits in the event loop until `ready` holds, at most ten seconds.
bool waitFor(const std::function<bool()>& ready) {
    QDeadlineTimer deadline(10000);
    while (!ready() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return ready();
}

// Milliseconds from `openTarvo` to the first frame, or -1.
double unfold(TarvoController& controller) {
    QElapsedTimer timer;
    double elapsed = -1;
    FirstPaint paint([&] { elapsed = double(timer.nsecsElapsed()) / 1e6; });
    controller.view().installEventFilter(&paint);
    timer.start();
    controller.openTarvo();
    waitFor([&] { return elapsed >= 0; });
    controller.view().removeEventFilter(&paint);
    return elapsed;
}

// One process: starts Tarvo, unfolds, folds, unfolds again; writes both
// figures to `out`.
int runChild(int out, const QString& home) {
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    int argc = 1;
    char name[] = "tarvo";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    SilentAlerts alerts;
    Application application(alerts);
    if (application.start() != Application::Start::running)
        return 1;
    TarvoController* controller = application.delegate()->controller();
    // Settle start-up: the loop runs once with the shelf hidden.
    QCoreApplication::processEvents();
    double figures[2] = {unfold(*controller), -1};
    controller->hideTarvo();
    if (waitFor([&] { return !controller->panel().isPanelVisible(); }))
        figures[1] = unfold(*controller);
    if (::write(out, figures, sizeof figures) != sizeof figures)
        return 1;
    return 0;
}

void BM_FirstUnfold(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    double again = 0;
    for (auto _ : state) {
        QTemporaryDir home;
        {
            // An everyday start: the tutorial is done.
            QDir().mkpath(home.filePath(QStringLiteral("config/Tarvo")));
            QSettings settings(home.filePath(QStringLiteral("config/Tarvo/Tarvo.conf")),
                               QSettings::IniFormat);
            settings.setValue(QStringLiteral("hasCompletedOnboarding"), true);
        }
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeEnds[0]);
            ::_exit(runChild(pipeEnds[1], home.path()));
        }
        ::close(pipeEnds[1]);
        double figures[2] = {-1, -1};
        const bool read = ::read(pipeEnds[0], figures, sizeof figures) == sizeof figures;
        ::close(pipeEnds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!read || figures[0] < 0 || figures[1] < 0) {
            state.SkipWithError("the shelf did not unfold");
            return;
        }
        state.SetIterationTime(figures[0] / 1000);
        again += figures[1];
    }
    state.counters["again_ms"] = benchmark::Counter(again, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FirstUnfold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    return bench::runBenchmarks(argc, argv);
}
