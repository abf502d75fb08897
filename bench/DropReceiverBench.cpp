// Dropping content into the shelf, beside `cp -r` of the same data on the same
// file system in the same run, with and without the flushes that make a drop
// durable before it is reported (the argument: 1 with, 0 without). The data is made once per run in
// a temporary folder; every copy stays there until the run ends and the folder goes, since deleting
// between rounds (with online discard, as here) slows the rounds after it.
#include "TarvoCore/DiskIO.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace tarvo;

namespace {

constexpr qint64 oneGiB = qint64(1) << 30;
constexpr int folderFiles = 10000;

QTemporaryDir* g_dir = nullptr;
int g_round = 0; // names every copy of the run apart

QString dataPath(const QString& name) {
    return g_dir->filePath(name);
}

// Real bytes, not a sparse file: every extent has to be copied.
void writeBigFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (qint64 written = 0; written < oneGiB; written += 1 << 20) {
        for (auto& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        file.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
    }
}

// 100 folders of 100 files, 200 to 4,000 bytes each.
void writeSmallFiles(const QString& root) {
    for (int i = 0; i < folderFiles; ++i) {
        const QString folder = root + QStringLiteral("/part-%1").arg(i / 100, 3, 10, QChar(u'0'));
        if (i % 100 == 0)
            QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/file-%1.txt").arg(i));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(200 + (i * 37) % 3800, static_cast<char>('a' + i % 26)));
    }
}

// Fresh data is flushed first: copying pages still waiting for the disk
// costs many times more, and would blur the comparison.
void flushToDisk() {
    ::sync();
}

const QString& bigFile() {
    static const QString path = [] {
        const QString p = dataPath(QStringLiteral("one-gib.bin"));
        writeBigFile(p);
        flushToDisk();
        return p;
    }();
    return path;
}

const QString& smallFile() {
    static const QString path = [] {
        const QString p = dataPath(QStringLiteral("note.txt"));
        QFile file(p);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(p));
        file.write(QByteArray(2000, 'n'));
        file.close();
        flushToDisk();
        return p;
    }();
    return path;
}

const QString& smallFolder() {
    static const QString path = [] {
        const QString p = dataPath(QStringLiteral("ten-thousand"));
        writeSmallFiles(p);
        flushToDisk();
        return p;
    }();
    return path;
}

void dropInto(benchmark::State& state, const QString& source) {
    DiskIO::setFlushing(state.range(0) != 0);
    FakeClock clock;
    for (auto _ : state) {
        state.PauseTiming();
        const QString root = dataPath(QStringLiteral("store-%1").arg(g_round++));
        auto store = std::make_unique<ItemStore>(root);
        DropReceiver receiver(*store, clock);
        MemoryPasteboard pasteboard;
        pasteboard.setURLs({QUrl::fromLocalFile(source)});
        flushToDisk(); // the last round's writes are not this round's cost
        state.ResumeTiming();

        const std::vector<Item> items = receiver.accept(pasteboard, std::nullopt);

        state.PauseTiming();
        if (items.size() != 1 || !items.front().state.isReady()) {
            state.SkipWithError("the drop did not land");
            break;
        }
        store.reset();
        state.ResumeTiming();
    }
    DiskIO::setFlushing(true);
}

void copyWithCp(benchmark::State& state, const QString& source) {
    for (auto _ : state) {
        state.PauseTiming();
        const QString target = dataPath(QStringLiteral("cp-%1").arg(g_round++));
        flushToDisk();
        state.ResumeTiming();

        const int status = QProcess::execute(QStringLiteral("cp"), {"-r", source, target});

        state.PauseTiming();
        if (status != 0) {
            state.SkipWithError("cp failed");
            break;
        }
        state.ResumeTiming();
    }
}

void BM_DropSmallFile(benchmark::State& state) {
    dropInto(state, smallFile());
}
void BM_CpSmallFile(benchmark::State& state) {
    copyWithCp(state, smallFile());
}
void BM_DropOneGiBFile(benchmark::State& state) {
    dropInto(state, bigFile());
    state.SetBytesProcessed(state.iterations() * oneGiB);
}
void BM_CpOneGiBFile(benchmark::State& state) {
    copyWithCp(state, bigFile());
    state.SetBytesProcessed(state.iterations() * oneGiB);
}
void BM_DropFolderOf10000Files(benchmark::State& state) {
    dropInto(state, smallFolder());
    state.SetItemsProcessed(state.iterations() * folderFiles);
}
void BM_CpFolderOf10000Files(benchmark::State& state) {
    copyWithCp(state, smallFolder());
    state.SetItemsProcessed(state.iterations() * folderFiles);
}

BENCHMARK(BM_DropSmallFile)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);
BENCHMARK(BM_CpSmallFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_DropOneGiBFile)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_CpOneGiBFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_DropFolderOf10000Files)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_CpFolderOf10000Files)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The system's temporary folder: the store and cp's copies sit on the
    // same file system as the data.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tarvo-drop-bench-XXXXXX"));
    if (!dir.isValid())
        return 1;
    g_dir = &dir;
    const int result = bench::runBenchmarks(argc, argv);
    g_dir = nullptr;
    return result; // the folder goes with `dir`
}
