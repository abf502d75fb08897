#pragma once

#include "TarvoCore/RuleModel.h"

#include <QString>

// Names of output files, for the conversion engine's naming operations.
namespace tarvo::OutputNaming {

// The longest file name we make, in UTF-8 bytes: below the file system's 255
// with room for the " 2" or random suffix a free name may add.
inline constexpr int kMaxNameBytes = 240;

// What follows the last "." of the last path component; empty when there is
// none, or when the only dot starts the name (".env" has no extension).
QString pathExtension(const QString& name);
// `name` less "." + its extension.
QString deletingPathExtension(const QString& name);

// The output extension for a delivery: "txt", "webloc", "pdf", "jpg", "png",
// the display name's own for `original`, none for `path`.
QString outputExtension(const Delivery& delivery, const QString& originalName);

// A name that is safe to create in a folder: "/" and control characters become
// "-", a name of nothing or only dots gets a leading "_", and an overlong name
// is shortened at a character boundary, keeping its extension.
QString cleanFileName(const QString& name);

} // namespace tarvo::OutputNaming
