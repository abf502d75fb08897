#pragma once

#include "TarvoCore/Date.h"

#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

namespace tarvo {

// File names for converted files, made from a rule's rename template. Stateless:
// every function may be called from any thread at the same time.
namespace RenameTemplate {

// The recognised tokens. Matching is exact and case-sensitive.
const QStringList& tokens();

// Expands `templ` for one file of a delivery into a clean file name: "/" and ":"
// become "-", white space is trimmed from both ends. When that leaves nothing, the
// cleaned `name` is returned instead (which may itself be empty). `index` is
// zero-based, `count` is the number of files in the batch.
QString expand(const QString& templ, const QString& name, const QString& ext, int index, int count,
               const std::optional<QString>& app, Date date, const QTimeZone& timeZone);

// index + 1, filled with zeros on the left to the digit count of max(count, 1).
QString paddedIndex(int index, int count);

// The first free name among "base.ext", "base 2.ext", "base 3.ext", … in `folder`
// (no dot when `ext` is empty), returned as a bare file name.
//
// The name is reserved before it is returned: an empty file is created at it
// exclusively, so two callers working in one folder at the same time never get the
// same name. Whoever writes the output replaces that file; whoever gives up removes
// it. Never fails: after a bounded number of taken names it returns one with a
// random suffix; when the folder refuses new files altogether (missing, read-only)
// nothing is reserved and the first name at which nothing exists is returned.
QString uniqueName(const QString& base, const QString& ext, const QString& folder);

} // namespace RenameTemplate

} // namespace tarvo
