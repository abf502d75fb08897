// One pointer move of a drag out of the shelf through the whole controller,
// on the in-memory platform and the offscreen window system: the drag source
// resolves the application under the pointer and the badge follows. A move
// the resolver answers from its cache, and a move onto another application
// (a new delivery, the pasteboard rewritten, the badge filled again).
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "CursorBadge.h"

#include "shell/ShellFixture.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tarvo;

namespace {

// An editor on the left half of the 1280 x 800 screen, a browser on the
// right, and 38 small windows in front that are never under the pointer.
struct World {
    World()
        : defaults(dir.path() + "/Tarvo.conf"), preferences(defaults),
          shell(QStringList{applicationsFolder()}) {
        shell.applications.refreshAndWait();
        std::vector<WindowInfo> windows;
        for (int i = 0; i < 38; ++i) {
            windows.push_back(WindowInfo{1000 + i, Rect{double(i * 10), 0, 5, 5}, 0, 0});
            shell.workspace.addProcess(1000 + i, QStringLiteral("org.example.App%1").arg(i));
        }
        windows.push_back(WindowInfo{100, Rect{0, 100, 640, 700}, 0, 0});
        windows.push_back(WindowInfo{200, Rect{640, 100, 640, 700}, 0, 0});
        shell.windows.setWindows(windows);
        shell.workspace.addProcess(100, QStringLiteral("org.xfce.mousepad"));
        shell.workspace.addProcess(200, QStringLiteral("firefox-esr"));

        controller = std::make_unique<TarvoController>(
            std::make_unique<ItemStore>(dir.path() + "/Tarvo/Items"),
            std::make_unique<RulesStore>(dir.path() + "/Tarvo"), preferences, dir.path() + "/work",
            shell.platform());
        controller->start();
        Item item;
        item.id = QUuid::createUuid();
        item.payload = ItemPayload::image(QStringLiteral("photo.png"));
        item.displayName = QStringLiteral("photo.png");
        item.addedAt = shell.clock.now();
        QFile file(controller->store().makeItemDirectory(item.id) + "/photo.png");
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("\x89PNG\r\n\x1a\n"));
        file.close();
        item.contentHash = ContentHash::ofPath(file.fileName());
        controller->store().add(item);
        controller->openTarvo();
        controller->tarvoView(controller->view(), {item.id}, QPointF(10, 10));
        session = shell.drags.current();
        // Out of the shelf long enough for the badge to show.
        session->moveTo(overEditor);
        shell.clock.advance(0.2);
        session->moveTo(overBrowser);
        session->moveTo(overEditor);
    }
    ~World() {
        if (session)
            session->end(overEditor, DragOperation::none);
    }

    QString applicationsFolder() {
        const QString folder = dir.path() + "/applications";
        QDir().mkpath(folder);
        for (const auto& [id, categories] : {std::pair{"org.xfce.mousepad", "Utility;TextEditor;"},
                                             std::pair{"firefox-esr", "Network;WebBrowser;"}}) {
            QFile file(folder + "/" + id + ".desktop");
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray("[Desktop Entry]\nType=Application\nName=") + id +
                       "\nExec=true\nIcon=text-editor\nCategories=" + categories + "\n");
        }
        return folder;
    }

    static constexpr QPointF overEditor{300, 300};
    static constexpr QPointF overBrowser{900, 300};

    QTemporaryDir dir;
    UserDefaults defaults;
    Preferences preferences;
    test::MemoryShell shell;
    std::unique_ptr<TarvoController> controller;
    MemoryDragSession* session = nullptr;
};

void BM_BadgeFollowsACachedMove(benchmark::State& state) {
    World world;
    if (!world.controller->badgeWindow().isShowing())
        state.SkipWithError("the badge does not show");
    int step = 0;
    for (auto _ : state) {
        // Within 4 points and no time passing: the resolver's last answer holds.
        const double dx = (step++ & 1) ? 1 : 0;
        world.session->moveTo(QPointF(World::overEditor.x() + dx, World::overEditor.y()));
    }
    if (world.controller->badgeWindow().frame().x < World::overEditor.x())
        state.SkipWithError("the badge did not follow");
}
BENCHMARK(BM_BadgeFollowsACachedMove);

void BM_BadgeFollowsOntoAnotherApplication(benchmark::State& state) {
    World world;
    bool right = false;
    const QString before = world.controller->badgeWindow().badge().content().text;
    for (auto _ : state) {
        // Past the throttle, onto the other application: its delivery differs
        // (a JPEG for the browser, the original for the editor).
        world.shell.clock.advance(0.1);
        right = !right;
        world.session->moveTo(right ? World::overBrowser : World::overEditor);
    }
    if (world.controller->badgeWindow().badge().content().text == before && right)
        state.SkipWithError("the badge did not change");
}
BENCHMARK(BM_BadgeFollowsOntoAnotherApplication);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
