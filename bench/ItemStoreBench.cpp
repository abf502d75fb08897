// Start-up cost of the item store: opening a shelf of 2,000 items, and trimming
// such a shelf to the size cap (which removes a third of it).
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/ItemStore.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

using namespace tarvo;

namespace {

constexpr int itemCount = 2000;
// 1.5 MB a file (sparse), so 2,000 items are 3 GB and the cap removes about 667.
constexpr qint64 fileSize = 1500000;

void fillStore(const QString& root) {
    ItemStore store(root);
    for (int i = 0; i < itemCount; ++i) {
        Item item;
        item.id = QUuid::createUuid();
        const QString folder = store.makeItemDirectory(item.id);
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
        store.add(item);
    }
}

// A prepared shelf, copied for each run that changes it.
const QString& preparedRoot() {
    static QTemporaryDir dir;
    static const QString root = [] {
        const QString r = dir.path() + QStringLiteral("/Items");
        fillStore(r);
        return r;
    }();
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
    const QString root = preparedRoot();
    for (auto _ : state) {
        ItemStore store(root);
        benchmark::DoNotOptimize(store.items().size());
    }
    state.SetItemsProcessed(state.iterations() * itemCount);
}
BENCHMARK(BM_OpenStore)->Unit(benchmark::kMillisecond);

void BM_OpenAndEvictToCap(benchmark::State& state) {
    const QString root = preparedRoot();
    size_t removed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir scratch;
        const QString copy = copyOf(root, scratch.path());
        state.ResumeTiming();

        ItemStore store(copy);
        removed = store.evictToCap(ItemStore::defaultCapBytes).size();
        benchmark::DoNotOptimize(removed);
    }
    state.counters["removed"] = static_cast<double>(removed);
}
BENCHMARK(BM_OpenAndEvictToCap)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
