// Feeds arbitrary bytes through the RTF reader: it must never crash, hang or
// read out of bounds, and never produce half a character.
#include "TarvoConvert/RTFReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto text = tarvo::RTFReader::plainText(bytes);
    if (!text)
        return 0;
    for (qsizetype i = 0; i < text->size(); ++i) {
        const QChar c = text->at(i);
        if (c.isHighSurrogate() && i + 1 < text->size() && text->at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            std::abort();
    }
    return 0;
}
