#pragma once

#include "TarvoConvert/ConversionError.h"

#include <gtest/gtest.h>

namespace tarvo::test {

// The ConversionError `f` throws; a test whose call throws none fails, and
// gets back an error no converter gives, so its comparisons fail too.
template <class F> ConversionError errorOf(F&& f) {
    try {
        f();
    } catch (const ConversionError& error) {
        return error;
    }
    ADD_FAILURE() << "no ConversionError";
    return ConversionError::cannotRead("(none)");
}

} // namespace tarvo::test
