#include "HTMLReader.h"

#include "CharacterReference.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace tarvo::HTMLText {

namespace {

constexpr std::size_t kMaxNameLength = 16;

constexpr std::array<std::u32string_view, 8> kUnshown = {
    U"script", U"style", U"title", U"noscript", U"template", U"iframe", U"noembed", U"noframes"};

constexpr std::array<std::u32string_view, 47> kBlocks = {
    U"address",  U"article",    U"aside",  U"blockquote", U"body",    U"caption", U"center",
    U"dd",       U"details",    U"dialog", U"dir",        U"div",     U"dl",      U"dt",
    U"fieldset", U"figcaption", U"figure", U"footer",     U"form",    U"h1",      U"h2",
    U"h3",       U"h4",         U"h5",     U"h6",         U"head",    U"header",  U"hgroup",
    U"hr",       U"html",       U"legend", U"li",         U"main",    U"menu",    U"nav",
    U"ol",       U"optgroup",   U"option", U"p",          U"section", U"summary", U"table",
    U"tbody",    U"tfoot",      U"thead",  U"tr",         U"ul"};

constexpr std::array<std::u32string_view, 2> kCells = {U"td", U"th"};

template <std::size_t N>
bool contains(const std::array<std::u32string_view, N>& set, std::u32string_view name) {
    return std::find(set.begin(), set.end(), name) != set.end();
}

bool isSpace(char32_t c) {
    return c == U'\t' || c == U'\n' || c == U'\f' || c == U'\r' || c == U' ';
}

bool isAsciiLetter(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

char32_t asciiLower(char32_t c) {
    return c >= U'A' && c <= U'Z' ? c + (U'a' - U'A') : c;
}

std::u32string normalizedScalars(const QString& text) {
    std::u32string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        char32_t scalar = c.unicode();
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(c, text[i + 1]);
            ++i;
        } else if (c.isSurrogate()) {
            scalar = 0xFFFD;
        }
        if (scalar == U'\r') {
            if (i + 1 < n && text[i + 1] == u'\n')
                ++i;
            scalar = U'\n';
        }
        out.push_back(scalar);
    }
    return out;
}

} // namespace

Reader::Reader(const QString& text) : m_source(normalizedScalars(text)) {}

QString Reader::read() {
    while (m_index < m_source.size()) {
        const char32_t c = m_source[m_index];
        if (c == U'&') {
            if (const auto reference = CharacterReference::decode(m_source, m_index)) {
                write(reference->scalar);
                m_index += reference->length;
            } else {
                m_lines.put(U'&');
                m_index += 1;
            }
        } else if (c == U'<') {
            readMarkup();
        } else {
            write(c);
            m_index += 1;
        }
    }
    // A leading U+FEFF is text the page holds, not a byte-order mark to drop:
    // dropping it would leave the break written after it at the start.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text =
        utf8(QByteArrayView(m_lines.bytes.data(), static_cast<qsizetype>(m_lines.bytes.size())));
    m_lines = Lines{};
    m_source.clear();
    m_index = 0;
    return text;
}

void Reader::readMarkup() {
    const std::size_t i = m_index;
    const std::size_t n = m_source.size();
    const char32_t next = i + 1 < n ? m_source[i + 1] : 0;

    if (i + 1 < n && next == U'?') {
        m_index = position(U">", i + 2).value_or(n);
        return;
    }
    if (i + 1 < n && next == U'!') {
        const bool comment = m_source.compare(i, 4, U"<!--") == 0;
        m_index = position(comment ? U"-->" : U">", i + 2).value_or(n);
        return;
    }
    const bool closing = i + 1 < n && next == U'/';
    const std::size_t namePos = closing ? i + 2 : i + 1;

    if (namePos >= n || !isAsciiLetter(m_source[namePos])) {
        if (closing) {
            if (const auto after = position(U">", namePos)) {
                m_index = *after;
                return;
            }
        }
        write(U'<');
        m_index = i + 1;
        return;
    }

    std::size_t end = namePos;
    while (end < n && !isSpace(m_source[end]) && m_source[end] != U'/' && m_source[end] != U'>')
        ++end;
    std::u32string name;
    for (std::size_t p = namePos; p < end && name.size() < kMaxNameLength; ++p)
        name.push_back(asciiLower(m_source[p]));
    m_index = endOfTag(end);

    if (!closing && contains(kUnshown, name)) {
        skipContent(name);
        return;
    }
    if (name == U"br") {
        m_lines.owedSeparator.reset();
        m_lines.owedBreaks += 1;
        m_lines.lineHasText = false;
        return;
    }
    if (name == U"pre") {
        m_preformatted = closing ? std::max(0, m_preformatted - 1) : m_preformatted + 1;
        m_lines.endLine();
        if (!closing && m_index < n && m_source[m_index] == U'\n')
            m_index += 1;
        return;
    }
    if (contains(kCells, name)) {
        if (!closing && m_lines.lineHasText)
            m_lines.owedSeparator = U'\t';
        return;
    }
    if (contains(kBlocks, name))
        m_lines.endLine();
}

std::size_t Reader::endOfTag(std::size_t p) const {
    const std::size_t n = m_source.size();
    bool afterEquals = false;
    while (p < n) {
        const char32_t c = m_source[p];
        if (c == U'>')
            return p + 1;
        if ((c == U'"' || c == U'\'') && afterEquals) {
            const std::size_t close = m_source.find(c, p + 1);
            if (close == std::u32string::npos)
                return n;
            p = close + 1;
            afterEquals = false;
            continue;
        }
        if (c == U'=')
            afterEquals = true;
        else if (!isSpace(c))
            afterEquals = false;
        ++p;
    }
    return n;
}

std::optional<std::size_t> Reader::position(std::u32string_view needle, std::size_t p) {
    const auto known = m_absentFrom.find(needle);
    if (known != m_absentFrom.end() && known->second <= p)
        return std::nullopt;
    const std::size_t at = p <= m_source.size() ? m_source.find(needle, p) : std::u32string::npos;
    if (at != std::u32string::npos)
        return at + needle.size();
    if (known != m_absentFrom.end())
        known->second = std::min(known->second, p);
    else
        m_absentFrom.emplace(std::u32string(needle), p);
    return std::nullopt;
}

void Reader::skipContent(const std::u32string& name) {
    const std::size_t n = m_source.size();
    const std::size_t needleLength = name.size() + 2; // "</" + name
    for (std::size_t q = m_source.find(U'<', m_index); q != std::u32string::npos;
         q = m_source.find(U'<', q + 1)) {
        if (q + needleLength > n)
            break;
        if (m_source[q + 1] != U'/')
            continue;
        bool match = true;
        for (std::size_t k = 0; k < name.size() && match; ++k)
            match = asciiLower(m_source[q + 2 + k]) == name[k];
        if (!match)
            continue;
        const std::size_t after = q + needleLength;
        if (after == n || isSpace(m_source[after]) || m_source[after] == U'/' ||
            m_source[after] == U'>') {
            m_index = endOfTag(after);
            return;
        }
    }
    m_index = n;
}

void Reader::Lines::write(char32_t c, bool preformatted) {
    if (c == 0)
        return;
    if (preformatted) {
        if (c == U'\n') {
            owedSeparator.reset();
            owedBreaks += 1;
            lineHasText = false;
            return;
        }
        put(c);
        return;
    }
    if (isSpace(c)) {
        if (lineHasText && !owedSeparator)
            owedSeparator = U' ';
        return;
    }
    put(c);
}

void Reader::Lines::put(char32_t c) {
    if (owedBreaks >= 1) {
        if (!bytes.empty())
            bytes.append(static_cast<std::size_t>(owedBreaks), '\n');
    } else if (owedSeparator) {
        append(*owedSeparator);
    }
    owedBreaks = 0;
    owedSeparator.reset();
    append(c);
    lineHasText = true;
}

void Reader::Lines::append(char32_t c) {
    if (c < 0x80) {
        bytes.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        bytes.push_back(static_cast<char>(0xE0 | (c >> 12)));
        bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        bytes.push_back(static_cast<char>(0xF0 | (c >> 18)));
        bytes.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// A block boundary: the current line ends, and consecutive boundaries still
// give one break, never a blank line.
void Reader::Lines::endLine() {
    owedSeparator.reset();
    if (lineHasText) {
        owedBreaks = 1;
        lineHasText = false;
    }
}

} // namespace tarvo::HTMLText
