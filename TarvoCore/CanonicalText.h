#pragma once

#include <QString>

// Bundle identifiers, paths and tokens are compared the way the platform's
// strings compare: by canonical Unicode equivalence, so a name typed with a
// combining accent equals the same name with the precomposed letter.
namespace tarvo::CanonicalText {

// The composed (NFC) form, the key under which equivalent texts meet.
QString form(const QString& text);
bool equal(const QString& a, const QString& b);
// Ascending by Unicode scalar values of the composed forms.
bool less(const QString& a, const QString& b);

} // namespace tarvo::CanonicalText
