#pragma once

#include "TarvoConvert/ConversionResult.h"

#include <QString>

// Puts a promised file in place for a destination that named where it wants
// it. The file is made under a hidden name beside that place and renamed
// over it in one step, so whatever stood there stays until the new file is
// whole, and a failure leaves it as it was.
namespace tarvo::PromisedFile {

// The hidden name in the same folder as `path` that the file is made under.
QString temporaryPath(const QString& path);

// Puts what `result` holds at `path`: a file written by a conversion at
// `temporary` is renamed into place, the unchanged item is copied there, a
// text is written there as UTF-8. Throws FileError, after removing whatever
// it left at `temporary`.
void place(const ConversionResult& result, const QString& temporary, const QString& path);

} // namespace tarvo::PromisedFile
