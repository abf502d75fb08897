// Start-up of the tarvo program over a shelf of 2,000 items, from the
// application object to its event loop running: the one-instance lock, the
// X11 services, the stores, the controller with its panel, and the first
// turn of the loop. Needs an X display (and, for the bus name, a session bus).
#include "TarvoApp/Alerts.h"
#include "TarvoApp/Application.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/ItemStore.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace tarvo;

namespace {

constexpr int itemCount = 2000;

class SilentAlerts final : public Alerts {
public:
    void showFailure(const QString& message) override {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(message));
    }
    bool explain(const QString&, const QString&, const QString&) override { return false; }
};

// Half small files, half texts, all added in the last hour so none ages out.
void fillStore(const QString& root) {
    ItemStore store(root);
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
}

void BM_StartUpWith2000Items(benchmark::State& state) {
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
        auto application = std::make_unique<Application>(alerts);
        if (application->start() != Application::Start::running) {
            state.SkipWithError("tarvo did not start");
            return;
        }
        QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
        QCoreApplication::exec();
        state.PauseTiming();
        application.reset();
        state.ResumeTiming();
    }
    state.counters["items"] = itemCount;
}
BENCHMARK(BM_StartUpWith2000Items)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    bench::defaultPlatform("xcb");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return bench::runBenchmarks(argc, argv);
}
