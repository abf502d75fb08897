// Start-up of the tarvo program over a shelf of --items=N items (2,000 unless
// told), from the application object until its main thread is idle: the
// one-instance lock, the X11 services, the stores, the controller with its
// panel, and whatever the first turns of the loop do. Idle means the loop
// waited a whole tick of a 100 ms timer with nothing else to do; the time is
// taken to the moment that wait began. Needs an X display (and, for the bus
// name, a session bus).
#include "TarvoApp/Alerts.h"
#include "TarvoApp/Application.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/DiskIO.h"
#include "TarvoCore/ItemStore.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace tarvo;

namespace {

int itemCount = 2000;
constexpr qint64 quietMs = 100;

class SilentAlerts final : public Alerts {
public:
    void showFailure(const QString& message) override {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(message));
    }
    bool explain(const QString&, const QString&, const QString&) override { return false; }
};

// Half small files, half texts, all added in the last hour so none ages out.
// Filled without flushes and with the index written in the background, or
// filling 20,000 items would take longer than every measured start.
void fillStore(const QString& root) {
    DiskIO::setFlushing(false);
    ItemStore store(root);
    store.setWritesInBackground(true);
    const Date now = Date::now();
    for (int i = 0; i < itemCount; ++i) {
        Item item;
        item.id = QUuid::createUuid();
        item.state = ItemState::ready();
        item.addedAt = now.addingSeconds(-3600 + i);
        if (i % 2 == 0) {
            const QString folder = store.makeItemDirectory(item.id);
            QFile file(folder + QStringLiteral("/note %1.txt").arg(i));
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray("note ") + QByteArray::number(i));
            file.close();
            item.payload = ItemPayload::file(QStringLiteral("note %1.txt").arg(i));
            item.displayName = QStringLiteral("note %1.txt").arg(i);
            item.contentHash = ContentHash::of(QByteArray("note ") + QByteArray::number(i));
        } else {
            const QString text = QStringLiteral("snippet %1").arg(i);
            item.payload = ItemPayload::text(text);
            item.displayName = text;
            item.contentHash = ContentHash::ofString(text);
        }
        store.add(item);
    }
    store.waitForWrites();
    DiskIO::setFlushing(true);
}

// Runs the loop until the main thread has been idle for a whole tick; returns
// how long after `started` the idle wait began, in seconds.
double runUntilIdle(const QElapsedTimer& started) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    qint64 blockedAt = -1;
    double idleAt = 0;
    const auto block = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                                        [&] { blockedAt = started.elapsed(); });
    const auto wake = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] {
        if (blockedAt >= 0 && started.elapsed() - blockedAt >= quietMs - 10 && idleAt == 0) {
            idleAt = double(blockedAt) / 1000.0;
            QCoreApplication::quit();
        }
    });
    QTimer tick;
    tick.start(int(quietMs));
    QCoreApplication::exec();
    QObject::disconnect(block);
    QObject::disconnect(wake);
    return idleAt;
}

void BM_StartUpUntilIdle(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    fillStore(home.filePath(QStringLiteral("data/Tarvo/Items")));
    SilentAlerts alerts;
    for (auto _ : state) {
        QElapsedTimer started;
        started.start();
        auto application = std::make_unique<Application>(alerts);
        if (application->start() != Application::Start::running) {
            state.SkipWithError("tarvo did not start");
            return;
        }
        state.SetIterationTime(runUntilIdle(started));
        application.reset();
    }
    state.counters["items"] = itemCount;
}

} // namespace

int main(int argc, char** argv) {
    // --items=N is ours; everything else goes to the benchmark library.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--items=", 8) == 0)
            itemCount = std::max(1, std::atoi(argv[i] + 8));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    benchmark::RegisterBenchmark(("BM_StartUpUntilIdle/items:" + std::to_string(itemCount)).c_str(),
                                 BM_StartUpUntilIdle)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(itemCount > 5000 ? 5 : 20);
    bench::defaultPlatform("xcb");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return bench::runBenchmarks(argc, argv);
}
