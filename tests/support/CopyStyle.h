#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <ostream>
#include <variant>
#include <vector>

// The wording check for interface texts: banned words, exclamation marks and
// emoji anywhere, and capitalised words that break sentence case. Used by the
// tests over the shipped string table; the application never runs it.
namespace tarvo::test::CopyStyle {

// Matched as plain substrings of the lower-cased text.
inline constexpr std::array<const char*, 10> bannedTerms = {
    "seamless",     "seamlessly", "magic",   "magical",    "supercharge",
    "supercharged", "oops",       "awesome", "effortless", "effortlessly"};

// Words that may be capitalised anywhere in a sentence; names of several words
// are listed word by word. Matched exactly, case included.
inline constexpr std::array<const char*, 25> properNouns = {
    "Tarvo",    "Mac",       "Macs",          "macOS", "System",     "Settings", "Finder",
    "Quick",    "Look",      "Accessibility", "Input", "Monitoring", "Shift",    "Downloads",
    "Terminal", "Terminals", "JPG",           "PNG",   "HEIC",       "PDF",      "URL",
    "RTF",      "TIFF",      "WebP",          "GIF"};

bool isProperNoun(const QString& word);

struct Violation {
    struct Kind {
        struct BannedTerm {
            QString term;
            bool operator==(const BannedTerm&) const = default;
        };
        struct Emoji {
            QString scalar; // one Unicode scalar
            bool operator==(const Emoji&) const = default;
        };
        struct TitleCase {
            QString word;
            bool operator==(const TitleCase&) const = default;
        };
        struct ExclamationMark {
            bool operator==(const ExclamationMark&) const = default;
        };

        std::variant<BannedTerm, Emoji, TitleCase, ExclamationMark> value;

        static Kind bannedTerm(QString term) { return {BannedTerm{std::move(term)}}; }
        static Kind emoji(QString scalar) { return {Emoji{std::move(scalar)}}; }
        static Kind titleCase(QString word) { return {TitleCase{std::move(word)}}; }
        static Kind exclamationMark() { return {ExclamationMark{}}; }

        // The case name, with its payload in quotes and parentheses.
        QString description() const;
        bool operator==(const Kind&) const = default;
    };

    QString key;
    QString value;
    Kind kind;

    // key = "value" — kind
    QString description() const;
    bool operator==(const Violation&) const = default;
};

void PrintTo(const Violation& violation, std::ostream* os);

// The texts in ascending order of their keys, each with its violations.
std::vector<Violation> violations(const QHash<QString, QString>& texts);
// Banned terms in list order, then an exclamation mark, then each emoji scalar
// in text order. Sentence case is not checked here.
std::vector<Violation> violations(const QString& key, const QString& value);

// Never for ASCII; for an emoji-presentation scalar, or any emoji scalar from
// U+2000 on (which leaves out (c) and (R), and keeps the trade mark sign).
bool isEmoji(char32_t scalar);

// The capitalised words after the first one that are not proper nouns, with
// punctuation stripped from their ends.
QStringList titleCaseOffenders(const QString& text);
bool isSentenceCase(const QString& text);

} // namespace tarvo::test::CopyStyle
