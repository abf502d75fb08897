// Thumbnails of 200 stored photos: cold, decoded on the worker pool, and
// again from the PNG cached in each item's folder.
#include "TarvoConvert/Vips.h"
#include "ThumbnailProvider.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <vector>

using namespace tarvo;

namespace {

constexpr int kPhotos = 200;

// 200 items, each a 6-megapixel JPEG in its own folder.
class PhotoStore {
public:
    PhotoStore() {
        Vips::start();
        VipsImage* noise = nullptr;
        vips_gaussnoise(&noise, 3000, 2000, "mean", 128.0, "sigma", 40.0, nullptr);
        Vips::ImagePtr grey(noise);
        VipsImage* colour = nullptr;
        vips_bandjoin_const1(grey.get(), &colour, 0.0, nullptr);
        Vips::ImagePtr base(colour);
        VipsImage* rgb = nullptr;
        vips_bandjoin_const1(base.get(), &rgb, 255.0, nullptr);
        Vips::ImagePtr image(rgb);
        VipsImage* bytes = nullptr;
        vips_cast(image.get(), &bytes, VIPS_FORMAT_UCHAR, nullptr);
        Vips::ImagePtr ready(bytes);
        void* jpeg = nullptr;
        std::size_t size = 0;
        vips_jpegsave_buffer(ready.get(), &jpeg, &size, "Q", 85, nullptr);
        const QByteArray data(static_cast<const char*>(jpeg), qsizetype(size));
        g_free(jpeg);
        for (int i = 0; i < kPhotos; ++i) {
            Item item;
            item.id = QUuid::createUuid();
            item.payload = ItemPayload::image(QStringLiteral("photo.jpg"));
            const QString folder = itemFolder(m_dir.path(), item.id);
            QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/photo.jpg"));
            file.open(QIODevice::WriteOnly);
            file.write(data);
            m_items.push_back(item);
        }
    }
    QString root() const { return m_dir.path(); }
    const std::vector<Item>& items() const { return m_items; }
    void dropDiskCaches() const {
        for (const Item& item : m_items)
            QFile::remove(itemFolder(m_dir.path(), item.id) + u'/' +
                          QLatin1String(ThumbnailProvider::cacheFileName));
    }

private:
    QTemporaryDir m_dir;
    std::vector<Item> m_items;
};

PhotoStore& photos() {
    static PhotoStore store;
    return store;
}

// Asks for every thumbnail and runs the event loop until all have answered.
void requestAll(ThumbnailProvider& provider, const std::vector<Item>& items) {
    int answered = 0;
    for (const Item& item : items)
        provider.thumbnail(item, [&](const QImage&) { ++answered; });
    QDeadlineTimer deadline(120000);
    while (answered < int(items.size()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (answered < int(items.size()))
        std::abort();
}

void BM_ThumbnailsCold(benchmark::State& state) {
    auto& store = photos();
    for (auto _ : state) {
        state.PauseTiming();
        store.dropDiskCaches();
        state.ResumeTiming();
        ThumbnailProvider provider(store.root());
        requestAll(provider, store.items());
    }
    state.SetItemsProcessed(state.iterations() * kPhotos);
}
BENCHMARK(BM_ThumbnailsCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ThumbnailsFromDiskCache(benchmark::State& state) {
    auto& store = photos();
    {
        ThumbnailProvider warm(store.root());
        requestAll(warm, store.items());
    }
    for (auto _ : state) {
        ThumbnailProvider provider(store.root());
        requestAll(provider, store.items());
    }
    state.SetItemsProcessed(state.iterations() * kPhotos);
}
BENCHMARK(BM_ThumbnailsFromDiskCache)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    bench::defaultPlatform("offscreen");
    QGuiApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
