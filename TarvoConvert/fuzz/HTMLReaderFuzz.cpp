// Feeds arbitrary bytes through the HTML decoder and text reader: they must
// never crash, hang or read out of bounds, whatever the page holds.
#include "TarvoConvert/HTMLReader.h"
#include "TarvoConvert/HTMLText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = tarvo::HTMLText::Reader(tarvo::HTMLText::decode(bytes)).read();
    // Owed breaks and separators are never written at the ends.
    if (text.startsWith(u'\n') || text.endsWith(u'\n'))
        std::abort();
    return 0;
}
