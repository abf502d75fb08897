#pragma once

#include "TarvoConvert/ConversionError.h"
#include "TarvoConvert/ConversionResult.h"

#include <ostream>

// Readable values in test failures.
namespace tarvo {

inline void PrintTo(const ConversionError& error, std::ostream* os) {
    *os << error.description().toStdString();
}

inline void PrintTo(const ConversionResult& result, std::ostream* os) {
    if (const auto* file = result.as<ConversionResult::File>())
        *os << "file(" << file->url.toStdString() << ")";
    else if (const auto* text = result.as<ConversionResult::Text>())
        *os << "text(" << text->text.toStdString() << ")";
    else if (const auto* original = result.as<ConversionResult::Original>())
        *os << "original(" << original->url.toStdString() << ")";
}

} // namespace tarvo
