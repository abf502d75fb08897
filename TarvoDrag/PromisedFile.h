#pragma once

#include "TarvoConvert/ConversionResult.h"

#include <QString>

#include <atomic>

// Puts a promised file in place for a destination that named where it wants
// it. The file is made under a hidden name beside that place and renamed
// into it in one step once whole, and only when nothing stands there: a file
// or folder already at the place is never replaced.
namespace tarvo::PromisedFile {

// The hidden name in the same folder as `path` that the file is made under.
QString temporaryPath(const QString& path);

// Puts what `result` holds at `path`: a file written by a conversion at
// `temporary` is renamed into place, the unchanged item is copied there, a
// text is written there as UTF-8. When `abandoned` is set by the time the
// file is whole, it is not renamed into place (ECANCELED). Throws FileError
// (EEXIST when something is at `path`), after removing whatever it left at
// `temporary`.
void place(const ConversionResult& result, const QString& temporary, const QString& path,
           const std::atomic<bool>* abandoned = nullptr);

} // namespace tarvo::PromisedFile
