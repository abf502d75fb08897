// A snapshot of 200 items pushed into the shelf's view: the first one, which
// makes the layers of the tiles near the view, and a later one, which only
// applies those items again (as after a thumbnail or a selection change),
// each with the layout; the first frame of a show and a wheel step at 0,
// 2,000 and 20,000 items (and after the items changed); one frame of the view drawn; and the
// window's shape without a compositor.
#include "AnimationClock.h"
#include "LayerPainter.h"
#include "TarvoView.h"

#include <QApplication>
#include <QPainter>

#include "BenchRun.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tarvo;

std::vector<Item> makeItems(int count) {
    std::vector<Item> items;
    for (int i = 0; i < count; ++i) {
        Item item;
        item.id = QUuid::createUuid();
        const QString name = QStringLiteral("photo %1.jpeg").arg(i);
        item.payload = ItemPayload::image(name);
        item.displayName = name;
        if (i % 10 == 3)
            item.state = ItemState::receiving(0.5);
        items.push_back(std::move(item));
    }
    return items;
}

QImage picture() {
    QImage image(168, 168, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(200, 140, 80));
    return image;
}

void BM_FirstSnapshotOf200(benchmark::State& state) {
    const std::vector<Item> items = makeItems(200);
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<TarvoView>();
        view->resize(1280, 200);
        for (const Item& item : items)
            view->setThumbnail(picture(), item.id);
        state.ResumeTiming();
        view->update(items, {}, TarvoState::resting, {});
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstSnapshotOf200)->Unit(benchmark::kMillisecond);

void BM_NextSnapshotOf200(benchmark::State& state) {
    std::vector<Item> items = makeItems(200);
    TarvoView view;
    view.resize(1280, 200);
    for (const Item& item : items)
        view.setThumbnail(picture(), item.id);
    view.update(items, {}, TarvoState::resting, {});
    int round = 0;
    for (auto _ : state) {
        items[std::size_t(round++ % 200)].pinned ^= true;
        view.update(items, {items.front().id}, TarvoState::resting, {});
    }
}
BENCHMARK(BM_NextSnapshotOf200)->Unit(benchmark::kMillisecond);

// A show's first frame: a fresh view takes the shelf's snapshot, lays out and
// paints the resting island once, as the panel does when it maps. `list`
// hands over the snapshot inside the timed part.
template <typename List> void firstFrame(benchmark::State& state, List list) {
    QImage target(600, 132, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        state.PauseTiming();
        SteppedAnimationClock clock;
        auto view = std::make_unique<TarvoView>(&clock);
        view->resize(600, 132);
        view->setIslandWidth(580);
        LayerPainter painter;
        state.ResumeTiming();
        view->update(list(), {}, TarvoState::resting, {});
        target.fill(Qt::transparent);
        {
            QPainter p(&target);
            painter.paint(p, *view->rootLayer(), 132, 1);
        }
        state.counters["layers"] = double(view->itemLayers().size());
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}

// The store hands over the same list until its items change, so it is made
// once.
void BM_FirstFrameOfAShow(benchmark::State& state) {
    const std::shared_ptr<const ItemList> items = ItemList::make(makeItems(int(state.range(0))));
    firstFrame(state, [&] { return items; });
}
BENCHMARK(BM_FirstFrameOfAShow)->Arg(0)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

// The same after the items changed: the store makes a new list (a copy of
// its items with their index) for the first reader.
void BM_FirstFrameAfterTheItemsChanged(benchmark::State& state) {
    const std::vector<Item> items = makeItems(int(state.range(0)));
    firstFrame(state, [&] { return ItemList::make(items); });
}
BENCHMARK(BM_FirstFrameAfterTheItemsChanged)
    ->Arg(0)
    ->Arg(2000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);

// One wheel step along a long strip and the frame after it: the window of
// layers follows, the tiles that come take the layers of those that left.
void BM_WheelStepAndFrame(benchmark::State& state) {
    const std::vector<Item> items = makeItems(int(state.range(0)));
    SteppedAnimationClock clock;
    TarvoView view(&clock);
    view.resize(600, 132);
    view.setIslandWidth(580);
    view.update(items, {}, TarvoState::resting, {});
    QImage target(600, 132, QImage::Format_ARGB32_Premultiplied);
    LayerPainter painter;
    double step = -48;
    for (auto _ : state) {
        const double before = view.itemScroll();
        view.scrollItems(step);
        if (view.itemScroll() == before && !items.empty()) {
            step = -step; // at an end: turn back
            view.scrollItems(step);
        }
        target.fill(Qt::transparent);
        QPainter p(&target);
        painter.paint(p, *view.rootLayer(), 132, 1);
    }
    state.counters["layers"] = double(view.itemLayers().size());
}
BENCHMARK(BM_WheelStepAndFrame)->Arg(0)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

// One frame of the view as the panel paints it: the resting island with
// twelve item tiles (eight in view, the strip's right end faded), a hovered
// tile and its caption, at device pixel ratio 1 and 2.
void BM_RestingViewFrame(benchmark::State& state) {
    const double ratio = double(state.range(0));
    SteppedAnimationClock clock;
    TarvoView view(&clock);
    view.resize(600, 132);
    const std::vector<Item> items = makeItems(12);
    view.update(items, {}, TarvoState::resting, {});
    for (const Item& item : items)
        view.setThumbnail(picture(), item.id);
    view.setIslandWidth(580);
    view.setNotice(items[2].displayName);
    clock.advance(1.0, 0.1);
    QImage target(int(600 * ratio), int(132 * ratio), QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(ratio);
    LayerPainter painter;
    for (auto _ : state) {
        target.fill(Qt::transparent);
        QPainter p(&target);
        painter.paint(p, *view.rootLayer(), 132, ratio);
    }
}
BENCHMARK(BM_RestingViewFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The window's shape without a compositor, made at every change of layout:
// the resting island with its close mark and caption, at ratio 1 and 2.
void BM_WindowShapeWithoutCompositor(benchmark::State& state) {
    const double ratio = double(state.range(0));
    SteppedAnimationClock clock;
    TarvoView view(&clock);
    view.resize(600, 172);
    const std::vector<Item> items = makeItems(12);
    view.setForcesCloseBadge(true);
    view.update(items, {}, TarvoState::resting, {});
    view.setIslandWidth(580);
    view.setNotice(items[2].displayName);
    clock.advance(1.0, 0.1);
    for (auto _ : state)
        benchmark::DoNotOptimize(view.outlineRegion(ratio));
}
BENCHMARK(BM_WindowShapeWithoutCompositor)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
