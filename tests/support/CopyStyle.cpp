#include "CopyStyle.h"

#include <QTextBoundaryFinder>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>

namespace tarvo::test::CopyStyle {

namespace {

enum class Casing { upper, lower };

// Full Unicode case mapping in the root locale.
QString mapped(const QString& text, Casing casing) {
    if (text.isEmpty())
        return text;
    const auto* source = reinterpret_cast<const UChar*>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    QString result(text.size() + 8, Qt::Uninitialized);
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        auto* target = reinterpret_cast<UChar*>(result.data());
        const auto capacity = static_cast<int32_t>(result.size());
        const int32_t needed = casing == Casing::upper
                                   ? u_strToUpper(target, capacity, source, length, "", &status)
                                   : u_strToLower(target, capacity, source, length, "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            result.resize(needed);
            continue;
        }
        if (U_FAILURE(status))
            return text;
        result.resize(needed);
        return result;
    }
    return text;
}

bool isAlphanumeric(char32_t c) {
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) !=
           0;
}

bool hasProperty(char32_t c, UProperty property) {
    return u_hasBinaryProperty(static_cast<UChar32>(c), property) != 0;
}

// One user-perceived character, possibly several scalars.
bool isUppercaseCharacter(const QString& character) {
    const QList<uint> scalars = character.toUcs4();
    const bool single = scalars.size() == 1;
    if (single && hasProperty(scalars[0], UCHAR_UPPERCASE))
        return true;
    if (mapped(character, Casing::upper) != character)
        return false;
    return (single && hasProperty(scalars[0], UCHAR_CASED)) ||
           mapped(character, Casing::lower) != character;
}

QString firstCharacter(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const qsizetype end = finder.toNextBoundary();
    return end > 0 ? text.left(end) : text;
}

QString strippedToAlphanumerics(const QString& word) {
    const QList<uint> scalars = word.toUcs4();
    auto first = scalars.begin();
    auto last = scalars.end();
    while (first != last && !isAlphanumeric(*first))
        ++first;
    while (last != first && !isAlphanumeric(*(last - 1)))
        --last;
    const std::vector<char32_t> kept(first, last);
    return QString::fromUcs4(kept.data(), static_cast<qsizetype>(kept.size()));
}

QStringList words(const QString& text) {
    QStringList result;
    QString current;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\n') {
            if (!current.isEmpty())
                result.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty())
        result.append(current);
    return result;
}

// Keys sort by their Unicode scalars after canonical composition, so the order
// does not depend on how a key happens to be encoded.
bool keyLess(const QString& a, const QString& b) {
    const QList<uint> x = a.normalized(QString::NormalizationForm_C).toUcs4();
    const QList<uint> y = b.normalized(QString::NormalizationForm_C).toUcs4();
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
}

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

} // namespace

bool isProperNoun(const QString& word) {
    return std::any_of(properNouns.begin(), properNouns.end(),
                       [&](const char* noun) { return word == QLatin1String(noun); });
}

QString Violation::Kind::description() const {
    struct Describe {
        QString operator()(const BannedTerm& k) const {
            return QStringLiteral("bannedTerm(%1)").arg(quoted(k.term));
        }
        QString operator()(const Emoji& k) const {
            return QStringLiteral("emoji(%1)").arg(quoted(k.scalar));
        }
        QString operator()(const TitleCase& k) const {
            return QStringLiteral("titleCase(%1)").arg(quoted(k.word));
        }
        QString operator()(const ExclamationMark&) const {
            return QStringLiteral("exclamationMark");
        }
    };
    return std::visit(Describe{}, value);
}

QString Violation::description() const {
    return key + QStringLiteral(" = ") + quoted(value) + QStringLiteral(" \u2014 ") +
           kind.description();
}

void PrintTo(const Violation& violation, std::ostream* os) {
    *os << violation.description().toStdString();
}

std::vector<Violation> violations(const QHash<QString, QString>& texts) {
    QStringList keys = texts.keys();
    std::sort(keys.begin(), keys.end(), keyLess);
    std::vector<Violation> result;
    for (const QString& key : keys) {
        std::vector<Violation> found = violations(key, texts.value(key));
        result.insert(result.end(), found.begin(), found.end());
    }
    return result;
}

std::vector<Violation> violations(const QString& key, const QString& value) {
    std::vector<Violation> result;
    const QString lower = mapped(value, Casing::lower);
    for (const char* term : bannedTerms) {
        if (lower.contains(QLatin1String(term)))
            result.push_back({key, value, Violation::Kind::bannedTerm(QString::fromLatin1(term))});
    }
    if (value.contains(u'!'))
        result.push_back({key, value, Violation::Kind::exclamationMark()});
    for (const uint scalar : value.toUcs4()) {
        if (isEmoji(scalar)) {
            const char32_t c = scalar;
            result.push_back({key, value, Violation::Kind::emoji(QString::fromUcs4(&c, 1))});
        }
    }
    return result;
}

bool isEmoji(char32_t scalar) {
    if (scalar < 128)
        return false;
    if (hasProperty(scalar, UCHAR_EMOJI_PRESENTATION))
        return true;
    return hasProperty(scalar, UCHAR_EMOJI) && scalar >= 0x2000;
}

QStringList titleCaseOffenders(const QString& text) {
    const QStringList all = words(text);
    QStringList offenders;
    if (all.size() < 2)
        return offenders;
    for (qsizetype i = 1; i < all.size(); ++i) {
        const QString word = strippedToAlphanumerics(all[i]);
        if (word.isEmpty() || !isUppercaseCharacter(firstCharacter(word)) || isProperNoun(word))
            continue;
        offenders.append(word);
    }
    return offenders;
}

bool isSentenceCase(const QString& text) {
    return titleCaseOffenders(text).isEmpty();
}

} // namespace tarvo::test::CopyStyle
