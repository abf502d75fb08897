#include "CanonicalText.h"

namespace tarvo::CanonicalText {

namespace {

bool isAscii(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

QString form(const QString& text) {
    // Nearly every identifier is ASCII, which is already in its composed form.
    return isAscii(text) ? text : text.normalized(QString::NormalizationForm_C);
}

bool equal(const QString& a, const QString& b) {
    if (a == b)
        return true;
    return form(a) == form(b);
}

bool less(const QString& a, const QString& b) {
    // UTF-8 byte order is Unicode scalar order; UTF-16 order is not (surrogates).
    return form(a).toUtf8() < form(b).toUtf8();
}

} // namespace tarvo::CanonicalText
