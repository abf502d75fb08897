// Opening the settings window the first time with 200 installed desktop
// files: the model, the window with its four tabs (the Apps tab lists every
// known installed application with its icon), shown and painted once. The
// applications folder is read before, as the running program has read it at
// start-up. Needs a display or QT_QPA_PLATFORM=offscreen.
#include "TarvoCore/AppCategoryMap.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "SettingsModel.h"
#include "SettingsWindow.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace tarvo;

namespace {

constexpr int desktopFileCount = 200;

// The applications the built-in tables know come first, as on a desktop
// with many programs installed; the rest are programs of no category, a
// few of them met on the shelf before.
struct World {
    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<RulesStore> rules;
    std::unique_ptr<ApplicationDirectory> applications;

    World() {
        const QString folder = dir.filePath(QStringLiteral("applications"));
        QDir().mkpath(folder);
        QStringList ids = AppCategoryMap::builtInBundleIDs();
        const char* icons[] = {"text-editor", "utilities-terminal",     "web-browser",
                               "folder",      "accessories-calculator", "image-viewer"};
        for (int i = 0; ids.size() < desktopFileCount; ++i)
            ids << QStringLiteral("org.example.Program%1").arg(i);
        ids = ids.mid(0, desktopFileCount);
        for (qsizetype i = 0; i < ids.size(); ++i) {
            QFile file(folder + QLatin1Char('/') + ids[i] + QStringLiteral(".desktop"));
            file.open(QIODevice::WriteOnly);
            file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Program %1\n"
                                      "Exec=true\nIcon=%2\n")
                           .arg(i)
                           .arg(QLatin1String(icons[i % 6]))
                           .toUtf8());
        }
        defaults = std::make_unique<UserDefaults>(dir.filePath(QStringLiteral("Tarvo.conf")));
        preferences = std::make_unique<Preferences>(*defaults);
        rules = std::make_unique<RulesStore>(dir.filePath(QStringLiteral("rules")));
        for (int i = 0; i < 30; ++i)
            rules->categories().noteSeen(QStringLiteral("org.example.Program%1").arg(i * 3));
        rules->save();
        applications = std::make_unique<ApplicationDirectory>(QStringList{folder});
        if (!applications->refreshAndWait())
            std::fprintf(stderr, "the applications folder was not read in time\n");
    }
};

World& world() {
    static World instance;
    return instance;
}

void BM_OpenSettingsFirstTime(benchmark::State& state) {
    World& w = world();
    std::size_t listed = 0;
    for (auto _ : state) {
        SettingsModel model(*w.preferences, *w.rules, w.applications.get());
        SettingsWindowController window(model);
        window.show();
        QApplication::processEvents();
        // The first picture of the window.
        benchmark::DoNotOptimize(window.window()->grab());
        state.PauseTiming();
        listed = std::size_t(model.destinationApps().size());
        window.window()->close();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["listedApps"] = double(listed);
    state.counters["desktopFiles"] = desktopFileCount;
}
BENCHMARK(BM_OpenSettingsFirstTime)->Unit(benchmark::kMillisecond)->Iterations(20);

// The Apps tab chosen in a freshly opened window.
void BM_FirstLookAtTheAppsTab(benchmark::State& state) {
    World& w = world();
    for (auto _ : state) {
        state.PauseTiming();
        SettingsModel model(*w.preferences, *w.rules, w.applications.get());
        SettingsWindowController window(model);
        window.show();
        QApplication::processEvents();
        state.ResumeTiming();
        model.setSelectedTab(SettingsTab::apps);
        QApplication::processEvents();
        benchmark::DoNotOptimize(window.window()->grab());
        state.PauseTiming();
        window.window()->close();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstLookAtTheAppsTab)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    {
        // The very first opening in the process, fonts and icon theme cold,
        // then the Apps tab's first look.
        World& w = world();
        QElapsedTimer timer;
        timer.start();
        SettingsModel model(*w.preferences, *w.rules, w.applications.get());
        SettingsWindowController window(model);
        window.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(window.window()->grab());
        const double opened = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        model.setSelectedTab(SettingsTab::apps);
        QApplication::processEvents();
        benchmark::DoNotOptimize(window.window()->grab());
        std::printf("first opening in a fresh process: %.1f ms; then the Apps tab: %.1f ms\n",
                    opened, double(timer.nsecsElapsed()) / 1e6);
        window.window()->close();
    }
    return bench::runBenchmarks(argc, argv);
}
