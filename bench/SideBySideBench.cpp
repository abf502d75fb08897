// Measured paths beside what they are measured against, in one run: the
// fingerprint of a 1 MiB file beside OpenSSL's own SHA-256 over the same bytes
// in memory and beside the plainest read-then-hash of the same file, and a PDF page delivered
// as a PNG beside poppler drawing and writing the same PNG in this process.
#include "TarvoConvert/ConversionEngine.h"
#include "TarvoCore/ContentHash.h"
#include "TarvoCore/Item.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <cairo-pdf.h>
#include <cairo.h>
#include <openssl/evp.h>
#include <poppler.h>

#include <cmath>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace tarvo;

constexpr int kOneMiB = 1 << 20;

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QByteArray randomBytes(int size) {
    std::mt19937 random(17);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

const QString& oneMiBFile() {
    static const QString path = [] {
        const QString file = folder().filePath(QStringLiteral("one-mib.bin"));
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(randomBytes(kOneMiB));
        return file;
    }();
    return path;
}

void BM_FingerprintOf1MiBFile(benchmark::State& state) {
    const QString& file = oneMiBFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(ContentHash::ofPath(file));
    state.SetBytesProcessed(state.iterations() * kOneMiB);
}
BENCHMARK(BM_FingerprintOf1MiBFile)->Unit(benchmark::kMicrosecond)->MinTime(2);

// OpenSSL's own speed: SHA-256 over 1 MiB already in memory.
void BM_OpenSSLSha256Of1MiB(benchmark::State& state) {
    const QByteArray bytes = randomBytes(kOneMiB);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(bytes.constData(), static_cast<size_t>(bytes.size()), digest, &length,
                   EVP_sha256(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * kOneMiB);
}
BENCHMARK(BM_OpenSSLSha256Of1MiB)->Unit(benchmark::kMicrosecond)->MinTime(2);

// The least any fingerprint of a file must do: read the file out of the page
// cache into a buffer and hash it there. The gap between this and the hash
// alone is the kernel's copy, which no reading of a file avoids.
void BM_ReadThenOpenSSLSha256Of1MiBFile(benchmark::State& state) {
    const QByteArray path = QFile::encodeName(oneMiBFile());
    std::vector<char> buffer(kOneMiB);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        std::size_t got = 0;
        ssize_t n;
        while ((n = ::read(fd, buffer.data() + got, buffer.size() - got)) > 0)
            got += static_cast<std::size_t>(n);
        ::close(fd);
        EVP_Digest(buffer.data(), got, digest, &length, EVP_sha256(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * kOneMiB);
}
BENCHMARK(BM_ReadThenOpenSSLSha256Of1MiBFile)->Unit(benchmark::kMicrosecond)->MinTime(2);

void BM_FingerprintOf4KiBFile(benchmark::State& state) {
    const QString file = folder().filePath(QStringLiteral("four-kib.bin"));
    QFile out(file);
    out.open(QIODevice::WriteOnly);
    out.write(randomBytes(4096));
    out.close();
    for (auto _ : state)
        benchmark::DoNotOptimize(ContentHash::ofPath(file));
}
BENCHMARK(BM_FingerprintOf4KiBFile)->Unit(benchmark::kMicrosecond);

// A US-Letter page of vector drawing and text, as office documents are.
const QString& letterPDF() {
    static const QString path = [] {
        const QString file = folder().filePath(QStringLiteral("letter.pdf"));
        cairo_surface_t* surface =
            cairo_pdf_surface_create(QFile::encodeName(file).constData(), 612, 792);
        cairo_t* cr = cairo_create(surface);
        std::mt19937 random(5);
        std::uniform_real_distribution<double> unit(0, 1);
        for (int i = 0; i < 200; ++i) {
            cairo_set_source_rgba(cr, unit(random), unit(random), unit(random), 0.6);
            cairo_arc(cr, unit(random) * 612, unit(random) * 792, 5 + unit(random) * 60, 0,
                      2 * M_PI);
            cairo_fill(cr);
        }
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 11);
        for (int line = 0; line < 60; ++line) {
            cairo_move_to(cr, 54, 60 + line * 12);
            cairo_show_text(cr, "The quick brown fox jumps over the lazy dog, again and again.");
        }
        cairo_show_page(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return file;
    }();
    return path;
}

void BM_PdfPageToPngThroughTheEngine(benchmark::State& state) {
    const QString& pdf = letterPDF();
    ConversionRequest r;
    r.item.id = QUuid::createUuid();
    r.item.payload = ItemPayload::file(QStringLiteral("letter.pdf"));
    r.item.displayName = QStringLiteral("letter.pdf");
    r.containerRoot = folder().path();
    const QString stored = itemFolder(r.containerRoot, r.item.id);
    QDir().mkpath(stored);
    QFile::copy(pdf, stored + QStringLiteral("/letter.pdf"));
    ImageOptions png;
    png.format = ImageFormat::png;
    png.stripLocation = false;
    r.delivery = Delivery::image(png);
    r.destinationURL = folder().filePath(QStringLiteral("letter-tarvo.png"));
    for (auto _ : state)
        benchmark::DoNotOptimize(ConversionEngine::perform(r));
}
BENCHMARK(BM_PdfPageToPngThroughTheEngine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3);

// The same page through poppler's own API in this process: opened, drawn at
// 144 pixels per inch (the same 1224 x 1584 pixels) on white, written as a PNG
// file. A pdftoppm process per page would add a start-up the engine never pays.
void BM_PopplerPageToPngInProcess(benchmark::State& state) {
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(QFile::encodeName(letterPDF()).constData(), nullptr, &error);
    if (!uri) {
        g_clear_error(&error);
        state.SkipWithError("no URI for the PDF");
        return;
    }
    const std::string out =
        QFile::encodeName(folder().filePath(QStringLiteral("letter-poppler.png"))).toStdString();
    constexpr double kScale = 144.0 / 72.0;
    for (auto _ : state) {
        PopplerDocument* document = poppler_document_new_from_file(uri, nullptr, &error);
        if (!document) {
            g_clear_error(&error);
            state.SkipWithError("poppler did not open the PDF");
            break;
        }
        PopplerPage* page = poppler_document_get_page(document, 0);
        double width = 0;
        double height = 0;
        poppler_page_get_size(page, &width, &height);
        cairo_surface_t* surface =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width * kScale),
                                       static_cast<int>(height * kScale));
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_scale(cr, kScale, kScale);
        poppler_page_render(page, cr);
        cairo_destroy(cr);
        benchmark::DoNotOptimize(cairo_surface_write_to_png(surface, out.c_str()));
        cairo_surface_destroy(surface);
        g_object_unref(page);
        g_object_unref(document);
    }
    g_free(uri);
}
BENCHMARK(BM_PopplerPageToPngInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
