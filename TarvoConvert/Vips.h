#pragma once

#include <vips/vips.h>

#include <QString>

#include <memory>

// The few pieces of libvips the converters share.
namespace tarvo::Vips {

// Starts libvips once per process. Each conversion runs on one thread and
// nothing is cached between conversions: the conversion engine's gate, not
// libvips, decides how many decodes run at once, and a finished conversion
// holds no memory or open file.
void start();

struct Unref {
    void operator()(gpointer object) const {
        if (object)
            g_object_unref(object);
    }
};
using ImagePtr = std::unique_ptr<VipsImage, Unref>;

// The most pixels a decode may produce. A decompression bomb, or a page drawn
// at an absurd size, fails instead of taking all memory.
inline constexpr double kMaxDecodedPixels = 100'000'000.0;

// The libvips error text, taken and cleared in one step under libvips' own
// lock: the buffer is the whole process's, and conversions run on several
// threads at once.
QString takeError();

// A file beside `destination` for writing into, renamed over it when complete,
// so that nothing half-written ever stands at the destination.
QString temporarySibling(const QString& destination);

// Renames `temporary` over `destination`; false (and `temporary` removed) when
// that fails.
bool commit(const QString& temporary, const QString& destination);

} // namespace tarvo::Vips
