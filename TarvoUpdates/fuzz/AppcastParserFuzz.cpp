// Feeds arbitrary bytes through the update feed reader: it must never crash,
// hang or read out of bounds, and whatever it returns must be usable items.
#include "TarvoUpdates/AppcastError.h"
#include "TarvoUpdates/AppcastParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const auto items = tarvo::AppcastParser::parse(bytes);
        if (items.empty())
            std::abort();
        for (const tarvo::AppcastItem& item : items) {
            // Every item returned has an address and a short version.
            if (!item.url.isValid() || item.shortVersion.isEmpty())
                std::abort();
        }
    } catch (const tarvo::AppcastError& error) {
        if (error.kind() != tarvo::AppcastError::Kind::malformedFeed &&
            error.kind() != tarvo::AppcastError::Kind::noItems)
            std::abort();
    }
    return 0;
}
