// Sixteen images of 50 megapixels each delivered onto a PDF rule at once,
// through the conversion engine at its usual limit: the peak memory of the
// whole process. Its own program, so that the peak is this batch's alone.
#include "BenchPhoto.h"

#include "TarvoConvert/ConversionEngine.h"
#include "TarvoConvert/Vips.h"
#include "TarvoCore/Item.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace tarvo;

constexpr int kWidth = 8660;
constexpr int kHeight = 5774; // 50 megapixels
constexpr int kBatch = 16;

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

// A 50-megapixel photograph.
QString makePhoto() {
    const QString file = folder().filePath(QStringLiteral("photo-50mp.jpg"));
    bench::writePhoto(file, kWidth, kHeight, 30.0);
    return file;
}

double statusMegabytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(line.find(':') + 1)) / 1024.0;
    }
    return 0;
}

void BM_SixteenImagesOf50MPOntoAPdfRule(benchmark::State& state) {
    const QString photo = makePhoto();
    const QString work = folder().filePath(QStringLiteral("work"));
    QDir().mkpath(work);
    std::vector<ConversionRequest> requests;
    for (int i = 0; i < kBatch; ++i) {
        ConversionRequest r;
        r.item.id = QUuid::createUuid();
        r.item.payload = ItemPayload::image(QStringLiteral("photo.jpg"));
        r.item.displayName = QStringLiteral("photo %1.jpg").arg(i);
        r.containerRoot = folder().path();
        r.delivery = Delivery::pdf();
        r.index = i;
        r.batchCount = kBatch;
        r.workDirectory = work;
        const QString stored = itemFolder(r.containerRoot, r.item.id);
        QDir().mkpath(stored);
        // The same picture under every item, without sixteen copies on disk.
        ::link(QFile::encodeName(photo).constData(),
               QFile::encodeName(stored + QStringLiteral("/photo.jpg")).constData());
        requests.push_back(r);
    }
    const double before = statusMegabytes("VmRSS");
    ConversionEngine engine(ConversionEngine::activeProcessorCount());
    for (auto _ : state) {
        std::vector<QFuture<ConversionResult>> futures;
        for (const ConversionRequest& r : requests)
            futures.push_back(engine.convert(r));
        // Each PDF goes once written: the disk need not hold sixteen.
        for (QFuture<ConversionResult>& f : futures)
            QFile::remove(*f.result().url());
    }
    state.counters["rss_before_MB"] = before;
    state.counters["peak_rss_MB"] = statusMegabytes("VmHWM");
    state.counters["peak_admitted_pixels_MB"] = double(engine.peakWeight()) / (1 << 20);
    state.counters["most_at_once"] = engine.peakConcurrency();
    state.counters["limit"] = ConversionEngine::activeProcessorCount();
}
BENCHMARK(BM_SixteenImagesOf50MPOntoAPdfRule)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
