// One pointer move of a drag out of the shelf, on the in-memory platform with
// the built-in rules and 40 windows on screen: a move the resolver answers
// from its cache (nothing changes), and a move onto another application
// whose delivery has another type order (fresh resolution, decision,
// pasteboard rewrite and the report to the delegate).
#include "TarvoConvert/ConversionEngine.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/DefaultRules.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RuleEngine.h"
#include "TarvoCore/UndoLog.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoDrag/DeliveryCoordinator.h"
#include "TarvoDrag/DestinationResolver.h"
#include "TarvoDrag/DragSource.h"
#include "TarvoDrag/DragSourceDelegate.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryAccessibility.h"
#include "TarvoPlatform/memory/MemoryDragSession.h"
#include "TarvoPlatform/memory/MemoryInputState.h"
#include "TarvoPlatform/memory/MemoryWindowList.h"
#include "TarvoPlatform/memory/MemoryWorkspace.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QTemporaryDir>

#include "TarvoPlatform/TypeMapping.h"

#include <algorithm>

using namespace tarvo;

namespace {

constexpr int windowCount = 40;

class QuietDelegate final : public DragSourceDelegate {
public:
    void dragSource(DragSource&, const ResolvedDestination&, const Delivery&) override {
        ++changes;
    }
    void dragSource(DragSource&, QPointF) override {}
    void dragSourceDidEnd(DragSource&, QPointF, DragOperation) override {}
    void dragSource(DragSource&, const QString&) override {}
    int changes = 0;
};

// A browser on the left of a 1000 x 1000 screen, a terminal on the right, 38
// small windows in front that are never under the pointer.
struct World {
    // `png`: the stored picture's bytes; a bare PNG signature when empty.
    explicit World(const QByteArray& png = {})
        : store(dir.path() + "/Items"), rules(DefaultRules::all(), AppCategoryMap{}), engine(1),
          defaults(dir.path() + "/settings.ini"), preferences(defaults),
          applications(QStringList{dir.path() + "/applications"}),
          coordinator(store, rules, engine, undoLog, preferences, dir.path() + "/work",
                      applications, clock),
          resolver(windows, AppCategoryMap{}, DestinationResolver::throttle, workspace,
                   accessibility) {
        std::vector<WindowInfo> list;
        for (int i = 0; i < windowCount - 2; ++i) {
            list.push_back(WindowInfo{1000 + i, Rect{double(i * 10), 900, 5, 5}, 0, 0});
            workspace.addProcess(1000 + i, QStringLiteral("org.example.App%1").arg(i));
        }
        list.push_back(WindowInfo{100, Rect{0, 0, 500, 500}, 0, 0});
        list.push_back(WindowInfo{200, Rect{500, 0, 500, 500}, 0, 0});
        windows.setWindows(list);
        workspace.addProcess(100, QStringLiteral("firefox"));
        workspace.addProcess(200, QStringLiteral("xterm"));

        item.id = QUuid::createUuid();
        item.payload = ItemPayload::image(QStringLiteral("photo.png"));
        item.displayName = QStringLiteral("photo.png");
        QFile file(store.makeItemDirectory(item.id) + "/photo.png");
        file.open(QIODevice::WriteOnly);
        file.write(png.isEmpty() ? QByteArray("\x89PNG\r\n\x1a\n") : png);
        file.close();
        item.contentHash = ContentHash::ofPath(file.fileName());
        store.add(item);

        rules.beginDrag();
        source = std::make_unique<DragSource>(
            std::vector<Item>{item}, coordinator, resolver, DeliveryCoordinator::Modifiers(),
            DragSource::Platform{sessions, input, clock, [] {
                                     return std::vector<Rect>{Rect{0, 0, 1000, 1000}};
                                 }});
        source->setDelegate(&delegate);
        source->beginSession(QPointF(), nullptr);
    }

    QTemporaryDir dir;
    FakeClock clock;
    ItemStore store;
    RuleEngine rules;
    ConversionEngine engine;
    UndoLog undoLog;
    UserDefaults defaults;
    Preferences preferences;
    ApplicationDirectory applications;
    DeliveryCoordinator coordinator;
    MemoryWindowList windows;
    MemoryWorkspace workspace;
    MemoryAccessibility accessibility;
    DestinationResolver resolver;
    MemoryInputState input;
    MemoryDragSessions sessions;
    QuietDelegate delegate;
    Item item;
    std::unique_ptr<DragSource> source;
};

void BM_MoveOnACacheHit(benchmark::State& state) {
    World world;
    world.source->draggingMoved({250, 750}); // over the browser, resolved once
    int step = 0;
    for (auto _ : state) {
        // Within 4 points and no time passing: the resolver's last answer holds.
        world.source->draggingMoved({250.0 + (step++ & 1), 750});
    }
    if (world.delegate.changes != 1)
        state.SkipWithError("a cached move changed the delivery");
}
BENCHMARK(BM_MoveOnACacheHit);

void BM_MoveOntoAnotherDestination(benchmark::State& state) {
    World world;
    bool left = false;
    for (auto _ : state) {
        // Past the throttle, onto the other application: its delivery's order
        // differs (a JPEG for the browser, the path for the terminal).
        world.clock.advance(0.1);
        left = !left;
        world.source->draggingMoved(left ? QPointF(250, 750) : QPointF(750, 750));
    }
    if (world.source->strategy() != PasteboardOrderStrategy::rewrite ||
        world.delegate.changes != static_cast<int>(state.iterations()))
        state.SkipWithError("a move did not rewrite the pasteboard");
    state.counters["rewrites"] = world.delegate.changes;
}
BENCHMARK(BM_MoveOntoAnotherDestination);

// A 24-megapixel photograph-like PNG.
const QByteArray& bigPNG() {
    static const QByteArray bytes = [] {
        QImage picture(6000, 4000, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                row[x] = qRgb((x * 255) / 6000, (y * 255) / 4000, ((x ^ y) * 37) & 0xff);
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG", 80);
        return png;
    }();
    return bytes;
}

// A browser reads the JPEG of a 24-megapixel PNG while the pointer hovers
// over it: the longest time between two turns of the event loop until the
// answer comes, beside the time the conversion takes.
void BM_EventLoopWhileA24MPPngConvertsForAReader(benchmark::State& state) {
    const QByteArray& png = bigPNG();
    // The desktop's type database is read once per process, long before a
    // drag in a running shelf: not this drag's cost.
    QMimeDatabase().mimeTypeForName(QStringLiteral("image/jpeg"));
    double longestGap = 0;
    double answeredAfter = 0;
    for (auto _ : state) {
        state.PauseTiming();
        World world(png);
        world.clock.advance(0.1);
        world.source->draggingMoved({250, 750}); // the browser: a JPEG
        state.ResumeTiming();

        bool answered = false;
        QElapsedTimer total;
        total.start();
        world.sessions.current()->requestData(
            0, QString(TypeIdentifier::jpeg), DataRequestPhase::hover,
            [&](std::optional<PasteboardData> data) { answered = data.has_value(); });
        qint64 last = total.nsecsElapsed();
        while (!answered) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            const qint64 now = total.nsecsElapsed();
            longestGap = std::max(longestGap, (now - last) / 1e6);
            last = now;
            if (now > qint64{60} * 1000 * 1000 * 1000)
                break;
        }
        answeredAfter = total.nsecsElapsed() / 1e6;
        if (!answered)
            state.SkipWithError("the reader got no JPEG");
    }
    // The same loop with nothing to do, as long: what the machine's load
    // alone makes of the gaps.
    double idleGap = 0;
    QElapsedTimer idle;
    idle.start();
    qint64 last = 0;
    while (idle.nsecsElapsed() < qint64(answeredAfter * 1e6)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const qint64 now = idle.nsecsElapsed();
        idleGap = std::max(idleGap, (now - last) / 1e6);
        last = now;
    }
    state.counters["longest_gap_ms"] = longestGap;
    state.counters["longest_gap_idle_ms"] = idleGap;
    state.counters["answered_after_ms"] = answeredAfter;
}
BENCHMARK(BM_EventLoopWhileA24MPPngConvertsForAReader)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace
