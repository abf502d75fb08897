// 24-megapixel photographs to 1600-pixel JPEGs at quality 0.85: one at a time
// beside libvips' own vips_thumbnail in this process, and sixteen through the
// conversion engine beside sixteen vipsthumbnail and ImageMagick processes,
// with wall time and peak memory. bench/convert-references.sh also runs one
// conversion by this program as a whole process in turn with one by
// vipsthumbnail and by ImageMagick (the modes at the end of this file).
#include "BenchPhoto.h"

#include "TarvoConvert/ConversionEngine.h"
#include "TarvoConvert/ImageConverter.h"
#include "TarvoConvert/Vips.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <malloc.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using namespace tarvo;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kBatch = 16;
constexpr int kTarget = 1600;

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

// A 24-megapixel photograph, softened as a camera's.
const QString& sourcePhoto() {
    static const QString path = [] {
        const QString file = folder().filePath(QStringLiteral("photo-24mp.jpg"));
        bench::writePhoto(file, kWidth, kHeight, 40.0, 0.8);
        return file;
    }();
    return path;
}

ImageOptions options() {
    ImageOptions o;
    o.format = ImageFormat::jpeg;
    o.maxPixels = kTarget;
    o.quality = 0.85;
    o.stripLocation = true;
    return o;
}

// Gives freed memory back to the system and resets the process's peak resident
// size, so that each benchmark reports its own growth from what is live.
void resetPeakMemory() {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
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

void reportMemory(benchmark::State& state, double baseMB, int atOnce) {
    const double peak = statusMegabytes("VmHWM");
    state.counters["rss_before_MB"] = baseMB;
    state.counters["peak_rss_MB"] = peak;
    state.counters["growth_per_conversion_MB"] = (peak - baseMB) / atOnce;
    // What libvips itself allocated for pixels at most, over the run so far.
    state.counters["vips_buffers_peak_MB"] = vips_tracked_get_mem_highwater() / (1024.0 * 1024.0);
    // Decoding all 24 megapixels as 8-bit RGB would take this much alone.
    state.counters["full_decode_MB"] = kWidth * double(kHeight) * 3 / (1024 * 1024);
}

void BM_TarvoOneAtATime(benchmark::State& state) {
    const QString& source = sourcePhoto();
    const QString out = folder().filePath(QStringLiteral("one.jpg"));
    ImageConverter::convert(source, options(), out); // libvips warms up
    resetPeakMemory();
    const double base = statusMegabytes("VmRSS");
    for (auto _ : state)
        ImageConverter::convert(source, options(), out);
    reportMemory(state, base, 1);
    state.counters["s_per_image"] = benchmark::Counter(
        state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// libvips' thumbnailer on the same photograph in the same process, as
// vipsthumbnail calls it: shrink-on-load to 1600 pixels, then a JPEG at Q=85.
void BM_VipsThumbnailInProcessOneAtATime(benchmark::State& state) {
    const QByteArray source = QFile::encodeName(sourcePhoto());
    const QByteArray out = QFile::encodeName(folder().filePath(QStringLiteral("vips.jpg"))) +
                           QByteArrayLiteral("[Q=85]");
    Vips::start();
    const auto once = [&] {
        VipsImage* thumbnail = nullptr;
        if (vips_thumbnail(source.constData(), &thumbnail, kTarget, nullptr) != 0)
            return false;
        const Vips::ImagePtr owned(thumbnail);
        return vips_image_write_to_file(thumbnail, out.constData(), nullptr) == 0;
    };
    if (!once()) {
        state.SkipWithError("vips_thumbnail failed");
        return;
    }
    resetPeakMemory();
    const double base = statusMegabytes("VmRSS");
    for (auto _ : state)
        benchmark::DoNotOptimize(once());
    reportMemory(state, base, 1);
    state.counters["s_per_image"] = benchmark::Counter(
        state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TarvoBatchOf16ThroughTheEngine(benchmark::State& state) {
    const QString& source = sourcePhoto();
    const QString work = folder().filePath(QStringLiteral("batch"));
    ConversionEngine engine(ConversionEngine::activeProcessorCount());
    // Sixteen items in a store whose stored files are all the same photograph.
    std::vector<ConversionRequest> requests;
    for (int i = 0; i < kBatch; ++i) {
        ConversionRequest r;
        r.item.id = QUuid::createUuid();
        r.item.payload = ItemPayload::image(QStringLiteral("photo.jpg"));
        r.item.displayName = QStringLiteral("photo.jpg");
        r.containerRoot = folder().path();
        r.delivery = Delivery::image(options());
        r.index = i;
        r.batchCount = kBatch;
        r.workDirectory = work;
        r.destinationURL = folder().filePath(QStringLiteral("batch-%1.jpg").arg(i));
        const QString itemDir = itemFolder(r.containerRoot, r.item.id);
        QDir().mkpath(itemDir);
        QFile::link(source, itemDir + QStringLiteral("/photo.jpg"));
        requests.push_back(r);
    }

    resetPeakMemory();
    const double base = statusMegabytes("VmRSS");
    for (auto _ : state) {
        std::vector<QFuture<ConversionResult>> futures;
        for (const ConversionRequest& r : requests)
            futures.push_back(engine.convert(r));
        for (auto& future : futures)
            future.waitForFinished();
    }
    reportMemory(state, base, engine.peakConcurrency());
    state.counters["conversions_at_once"] = engine.peakConcurrency();
    state.counters["s_per_image"] =
        benchmark::Counter(double(state.iterations()) * kBatch,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Starts `argv` under GNU time, which writes the command's peak resident size
// (KB) to `report`. A child spawned from this process would report our own
// size: the kernel carries a process's high-water mark across exec.
pid_t spawn(const std::vector<std::string>& argv, const std::string& report) {
    std::vector<std::string> full = {"/usr/bin/time", "-f", "%M", "-o", report};
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (const std::string& a : full)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 ? pid : -1;
}

// The peak in MB that a finished child reported, or -1 when it failed.
double finished(pid_t pid, const std::string& report) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    std::ifstream in(report);
    double kilobytes = -1;
    in >> kilobytes;
    return kilobytes < 0 ? -1 : kilobytes / 1024.0;
}

bool available(const std::vector<std::string>& command) {
    return QFile::exists(QStringLiteral("/usr/bin/time")) &&
           QFile::exists(QString::fromStdString(command[0]));
}

std::vector<std::string> vipsthumbnail(const std::string& out) {
    return {"/usr/bin/vipsthumbnail",
            sourcePhoto().toStdString(),
            "--size",
            std::to_string(kTarget),
            "-o",
            out + "[Q=85]"};
}

std::vector<std::string> imagemagick(const std::string& out) {
    return {"/usr/bin/convert-im6.q16",
            sourcePhoto().toStdString(),
            "-resize",
            std::to_string(kTarget) + "x" + std::to_string(kTarget),
            "-quality",
            "85",
            out};
}

// Sixteen runs, as many at once as the machine has processors.
template <class Command> void referenceBatch(benchmark::State& state, Command command) {
    if (!available(command("x"))) {
        state.SkipWithError("not installed (run bench/convert-references.sh)");
        return;
    }
    const int parallel = ConversionEngine::activeProcessorCount();
    double peak = 0;
    double atOnce = 0;
    for (auto _ : state) {
        std::vector<std::pair<pid_t, std::string>> running;
        int started = 0;
        while (started < kBatch || !running.empty()) {
            while (static_cast<int>(running.size()) < parallel && started < kBatch) {
                const QString name = QStringLiteral("ref-%1").arg(started);
                const std::string report = folder().filePath(name + ".rss").toStdString();
                const pid_t pid =
                    spawn(command(folder().filePath(name + ".jpg").toStdString()), report);
                if (pid < 0) {
                    state.SkipWithError("the command failed to start");
                    return;
                }
                running.emplace_back(pid, report);
                ++started;
            }
            // The first of the running processes; the others go on meanwhile.
            const auto [pid, report] = running.front();
            running.erase(running.begin());
            const double mb = finished(pid, report);
            if (mb < 0) {
                state.SkipWithError("the command failed");
                return;
            }
            peak = std::max(peak, mb);
        }
        atOnce = std::min(parallel, kBatch);
    }
    state.counters["peak_rss_MB"] = peak;
    // Processes do not share memory: this many at their peak at once.
    state.counters["processes_at_once"] = atOnce;
    state.counters["peak_x_processes_MB"] = peak * atOnce;
    state.counters["s_per_image"] =
        benchmark::Counter(double(state.iterations()) * kBatch,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_VipsthumbnailBatchOf16(benchmark::State& state) {
    referenceBatch(state, vipsthumbnail);
}
void BM_ImageMagickBatchOf16(benchmark::State& state) {
    referenceBatch(state, imagemagick);
}

} // namespace

BENCHMARK(BM_TarvoOneAtATime)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_VipsThumbnailInProcessOneAtATime)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3);
BENCHMARK(BM_TarvoBatchOf16ThroughTheEngine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3);
BENCHMARK(BM_VipsthumbnailBatchOf16)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_ImageMagickBatchOf16)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Besides the benchmarks, two modes for bench/convert-references.sh:
//   --write-photo PATH          writes the 24-megapixel photograph;
//   --convert-once SOURCE OUT   one conversion, as the benchmarks make it, and exits.
int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--write-photo" && argc == 3) {
        bench::writePhoto(QString::fromLocal8Bit(argv[2]), kWidth, kHeight, 40.0, 0.8);
        return 0;
    }
    if (mode == "--convert-once" && argc == 4) {
        try {
            ImageConverter::convert(QString::fromLocal8Bit(argv[2]), options(),
                                    QString::fromLocal8Bit(argv[3]));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "convert: %s\n", error.what());
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
