// Start-up cost of the item store: opening a shelf of 2,000 or 20,000 items,
// and trimming such a shelf to the size cap; and what adding one item to such
// a shelf costs the main thread, with the writes in the background as the
// shell has them.
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Json.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>

using namespace tarvo;

namespace {

// 1.5 MB a file (sparse), so 2,000 items are 3 GB and the cap removes about
// 667; of 20,000 items it removes about 18,667.
constexpr qint64 fileSize = 1500000;

// Writes the item folders as the store would and lets the store rebuild its
// index from them: adding 20,000 items one by one would rewrite and flush the
// index 20,000 times.
void fillStore(const QString& root, int count) {
    QDir().mkpath(root);
    for (int i = 0; i < count; ++i) {
        Item item;
        item.id = QUuid::createUuid();
        const QString folder = itemFolder(root, item.id);
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/file.bin"));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray::number(i));
        file.resize(fileSize);
        file.close();
        item.payload = ItemPayload::file(QStringLiteral("file.bin"));
        item.state = ItemState::ready();
        item.displayName = QStringLiteral("file %1.bin").arg(i);
        item.addedAt = Date::fromSecondsSince1970(1700000000 + i);
        item.contentHash = ContentHash::of(QByteArray::number(i));
        QFile metadata(folder + QStringLiteral("/item.json"));
        metadata.open(QIODevice::WriteOnly);
        metadata.write(json::write(item.toJson()));
    }
    const ItemStore rebuilt(root);
}

// A prepared shelf of `count` items, copied for each run that changes it.
QString preparedRoot(int count) {
    static QTemporaryDir dir;
    static std::map<int, QString> roots;
    auto& root = roots[count];
    if (root.isEmpty()) {
        root = dir.path() + QStringLiteral("/Items-%1").arg(count);
        fillStore(root, count);
    }
    return root;
}

QString copyOf(const QString& root, const QString& into) {
    const QString target = into + QStringLiteral("/Items");
    const QByteArray command = "cp -a --sparse=always '" + QFile::encodeName(root) + "' '" +
                               QFile::encodeName(target) + "'";
    if (std::system(command.constData()) != 0)
        return {};
    return target;
}

void BM_OpenStore(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const QString root = preparedRoot(count);
    for (auto _ : state) {
        auto store = std::make_unique<ItemStore>(root);
        benchmark::DoNotOptimize(store->items().size());
        // Closing waits for the sweeps that opening handed to a worker:
        // not part of the time until the shelf can show.
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_OpenStore)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

// Expiry and trimming remove in one pass and write the index once, so the
// cost grows with the shelf, not with the shelf times the items removed.
void BM_OpenAndEvictToCap(benchmark::State& state) {
    const QString root = preparedRoot(static_cast<int>(state.range(0)));
    size_t removed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir scratch;
        const QString copy = copyOf(root, scratch.path());
        state.ResumeTiming();

        ItemStore store(copy);
        removed = store.evictToCap(ItemStore::defaultCapBytes).size();
        benchmark::DoNotOptimize(removed);

        state.PauseTiming();
        store.waitForDeletions();
        state.ResumeTiming();
    }
    state.counters["removed"] = static_cast<double>(removed);
}
BENCHMARK(BM_OpenAndEvictToCap)
    ->Arg(2000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// One item added to a shelf of `state.range(0)`; `handOn` runs after each
// addition, inside the timed part.
template <typename HandOn> void addOne(benchmark::State& state, HandOn handOn) {
    const QString root = preparedRoot(static_cast<int>(state.range(0)));
    QTemporaryDir scratch;
    ItemStore store(copyOf(root, scratch.path()));
    store.setWritesInBackground(true);
    handOn(store);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Item item;
        item.id = QUuid::createUuid();
        item.payload = ItemPayload::text(QStringLiteral("note %1").arg(++n));
        item.state = ItemState::ready();
        item.addedAt = Date::now();
        item.contentHash = ContentHash::ofString(QStringLiteral("note %1").arg(n));
        // What the disk still does for the last one is not this one's cost.
        store.waitForWrites();
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.add(item));
        handOn(store);
    }
    store.waitForWrites();
}

void BM_AddOne(benchmark::State& state) {
    addOne(state, [](ItemStore&) {});
}
BENCHMARK(BM_AddOne)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(50);

// As the shell adds: the shelf is handed the store's list after each one.
void BM_AddOneAndHandOn(benchmark::State& state) {
    addOne(state, [](ItemStore& store) { benchmark::DoNotOptimize(store.snapshot()); });
}
BENCHMARK(BM_AddOneAndHandOn)
    ->Arg(2000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50);

// What quitting costs: every item is written back unless its file already
// holds it.
void BM_Save(benchmark::State& state) {
    const QString root = preparedRoot(static_cast<int>(state.range(0)));
    QTemporaryDir scratch;
    ItemStore store(copyOf(root, scratch.path()));
    for (auto _ : state)
        store.save();
}
BENCHMARK(BM_Save)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
