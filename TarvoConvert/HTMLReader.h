#pragma once

#include <QString>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::HTMLText {

// Reads decoded HTML once and keeps what a reader would see: markup and
// invisible elements dropped, character references decoded, white space
// collapsed, blocks on lines of their own, table cells separated by tabs.
// Runs no script and fetches nothing.
class Reader final {
public:
    explicit Reader(const QString& text);

    // The plain text; the reader is spent afterwards.
    QString read();

private:
    // The output being built, with the breaks and separator it still owes.
    struct Lines {
        std::string bytes;
        int owedBreaks = 0;
        std::optional<char32_t> owedSeparator;
        bool lineHasText = false;

        void write(char32_t c, bool preformatted);
        void put(char32_t c);
        void append(char32_t c);
        void endLine();
    };

    void readMarkup();
    std::size_t endOfTag(std::size_t from) const;
    std::optional<std::size_t> position(std::u32string_view needle, std::size_t from);
    void skipContent(const std::u32string& name);
    void write(char32_t c) { m_lines.write(c, m_preformatted > 0); }

    std::u32string m_source;
    std::size_t m_index = 0;
    Lines m_lines;
    int m_preformatted = 0;
    // For each terminator searched for, the earliest start from which it is
    // known to be absent, so unterminated comments cost one scan in all.
    std::map<std::u32string, std::size_t, std::less<>> m_absentFrom;
};

} // namespace tarvo::HTMLText
