#include "RTFReader.h"

#include "Iconv.h"

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <string_view>
#include <vector>

namespace tarvo::RTFReader {

namespace {

constexpr int kDefaultCodePage = 1252;
constexpr std::size_t kMaxControlWordLength = 32;
constexpr int kMaxParameterDigits = 10;

// Destinations whose content is not part of the body text even without "\*".
constexpr std::array<std::string_view, 40> kSkippedDestinations = {
    "annotation", "atnauthor",  "atndate",  "atnicn",   "atnid",   "atnparent", "atnref",
    "atntime",    "author",     "buptim",   "colortbl", "comment", "creatim",   "doccomm",
    "fldinst",    "footer",     "footerf",  "footerl",  "footerr", "footnote",  "ftncn",
    "ftnsep",     "ftnsepc",    "header",   "headerf",  "headerl", "headerr",   "info",
    "keywords",   "nonshppict", "operator", "pict",     "printim", "private",   "revtim",
    "rxe",        "stylesheet", "subject",  "tc",       "title",
};

enum class Mode { body, skip, fontTable };

struct GroupState {
    Mode mode = Mode::body;
    int unicodeSkip = 1;     // \ucN: fallback characters after each \uN
    std::optional<int> font; // \fN; absent means the default font
    bool inUpr = false;      // inside \upr, whose \*\ud part alone is shown
};

struct Font {
    std::optional<int> charset;
    std::optional<int> codePage;
};

std::optional<int> codePageForCharset(int charset) {
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 255:
        return 437;
    default:
        return std::nullopt; // ANSI, default and symbol use the document's page
    }
}

QByteArray iconvName(int codePage) {
    switch (codePage) {
    case 10000:
        return "MACINTOSH";
    case 65001:
        return "UTF-8";
    case 1361:
        return "JOHAB";
    default:
        return "CP" + QByteArray::number(codePage);
    }
}

class Parser final {
public:
    explicit Parser(const QByteArray& data) : m_data(data) {}

    QString run();

private:
    bool atEnd() const { return m_pos >= m_data.size(); }
    unsigned char peek() const { return static_cast<unsigned char>(m_data[m_pos]); }

    GroupState& state() { return m_stack.back(); }
    bool shown() const { return !m_stack.empty() && m_stack.back().mode == Mode::body; }

    void openGroup();
    void closeGroup();
    void readEscape();
    void controlWord(std::string_view word, std::optional<int> parameter);
    void destination(std::string_view word);
    void text(char16_t c);
    void byte(unsigned char b);
    void flushBytes();
    bool consumeFallback();
    int fontCodePage(int font) const;

    const QByteArray& m_data;
    qsizetype m_pos = 0;
    std::vector<GroupState> m_stack;
    QString m_out;
    QByteArray m_pendingBytes;
    int m_pendingCodePage = kDefaultCodePage;
    int m_ansiCodePage = kDefaultCodePage;
    std::optional<int> m_defaultFont;
    std::map<int, Font> m_fonts;
    int m_definingFont = 0;
    int m_fallbackLeft = 0;     // characters still to skip after a \uN
    bool m_starPending = false; // "\*" seen: the next control word names a destination
    bool m_done = false;
};

QString Parser::run() {
    while (!atEnd() && !m_done) {
        const unsigned char c = peek();
        switch (c) {
        case '{':
            ++m_pos;
            openGroup();
            break;
        case '}':
            ++m_pos;
            closeGroup();
            break;
        case '\\':
            ++m_pos;
            readEscape();
            break;
        case '\r':
        case '\n':
        case 0:
            ++m_pos;
            break;
        default:
            ++m_pos;
            if (consumeFallback())
                break;
            if (c >= 0x80)
                byte(c);
            else
                text(c);
            break;
        }
    }
    flushBytes();

    // A \uN pair cut in half leaves a lone surrogate, which no text may hold.
    for (qsizetype i = 0; i < m_out.size(); ++i) {
        if (m_out[i].isHighSurrogate() && i + 1 < m_out.size() && m_out[i + 1].isLowSurrogate())
            ++i;
        else if (m_out[i].isSurrogate())
            m_out[i] = QChar(QChar::ReplacementCharacter);
    }
    return m_out;
}

void Parser::openGroup() {
    flushBytes();
    m_fallbackLeft = 0;
    m_starPending = false;
    m_stack.push_back(m_stack.empty() ? GroupState{} : m_stack.back());
}

void Parser::closeGroup() {
    flushBytes();
    m_fallbackLeft = 0;
    m_starPending = false;
    if (!m_stack.empty())
        m_stack.pop_back();
    if (m_stack.empty())
        m_done = true; // the document's own group has closed
}

void Parser::readEscape() {
    if (atEnd())
        return;
    const unsigned char c = peek();
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        const qsizetype start = m_pos;
        while (!atEnd() && m_pos - start < static_cast<qsizetype>(kMaxControlWordLength) &&
               ((peek() >= 'a' && peek() <= 'z') || (peek() >= 'A' && peek() <= 'Z')))
            ++m_pos;
        const std::string_view word(m_data.constData() + start,
                                    static_cast<std::size_t>(m_pos - start));
        std::optional<int> parameter;
        bool negative = false;
        if (!atEnd() && peek() == '-' && m_pos + 1 < m_data.size() && m_data[m_pos + 1] >= '0' &&
            m_data[m_pos + 1] <= '9') {
            negative = true;
            ++m_pos;
        }
        if (!atEnd() && peek() >= '0' && peek() <= '9') {
            long long value = 0;
            int digits = 0;
            while (!atEnd() && peek() >= '0' && peek() <= '9') {
                if (digits < kMaxParameterDigits)
                    value = value * 10 + (peek() - '0');
                ++digits;
                ++m_pos;
            }
            value = std::min<long long>(value, INT_MAX);
            parameter = static_cast<int>(negative ? -value : value);
        }
        if (!atEnd() && peek() == ' ')
            ++m_pos; // the delimiter belongs to the control word
        controlWord(word, parameter);
        return;
    }

    ++m_pos;
    if (c == '\'') {
        int value = 0;
        int digits = 0;
        while (digits < 2 && !atEnd()) {
            const char h = static_cast<char>(peek());
            int d = -1;
            if (h >= '0' && h <= '9')
                d = h - '0';
            else if (h >= 'a' && h <= 'f')
                d = h - 'a' + 10;
            else if (h >= 'A' && h <= 'F')
                d = h - 'A' + 10;
            if (d < 0)
                break;
            value = value * 16 + d;
            ++digits;
            ++m_pos;
        }
        if (digits == 0 || consumeFallback())
            return;
        byte(static_cast<unsigned char>(value));
        return;
    }
    if (c == '*') {
        m_starPending = true;
        return;
    }
    if (consumeFallback())
        return;
    switch (c) {
    case '\\':
    case '{':
    case '}':
        text(c);
        break;
    case '~':
        text(0x00A0);
        break;
    case '_':
        text(0x2011);
        break;
    case '\t':
        text(u'\t');
        break;
    case '\r':
    case '\n':
        text(u'\n'); // an escaped line end is a paragraph mark
        break;
    default:
        break; // "\-" (optional hyphen), "\:" and "\|" show nothing
    }
}

void Parser::controlWord(std::string_view word, std::optional<int> parameter) {
    if (m_stack.empty())
        return;
    const bool star = m_starPending;
    m_starPending = false;

    if (word == "bin") {
        // Binary data may hold braces and backslashes: jump over it unread.
        const qsizetype n = std::max(0, parameter.value_or(0));
        m_pos += std::min<qsizetype>(n, m_data.size() - m_pos);
        return;
    }

    if (state().mode == Mode::skip) {
        if (word == "ud" && state().inUpr) {
            state().mode = Mode::body;
            state().inUpr = false;
        }
        return;
    }

    if (star) {
        if (word == "ud" && state().inUpr) {
            state().inUpr = false;
            return;
        }
        // An ignorable destination we do not know: its text is not the body's.
        flushBytes();
        state().mode = Mode::skip;
        return;
    }

    if (state().mode == Mode::fontTable) {
        if (word == "f" && parameter)
            m_definingFont = *parameter;
        else if (word == "fcharset" && parameter)
            m_fonts[m_definingFont].charset = *parameter;
        else if (word == "cpg" && parameter)
            m_fonts[m_definingFont].codePage = *parameter;
        else if (std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), word) !=
                 kSkippedDestinations.end())
            state().mode = Mode::skip;
        return;
    }

    if (m_fallbackLeft > 0 && word != "u" && consumeFallback())
        return;

    if (word == "par" || word == "sect" || word == "line" || word == "page")
        text(u'\n');
    else if (word == "tab")
        text(u'\t');
    else if (word == "cell" || word == "nestcell")
        text(u'\t');
    else if (word == "row" || word == "nestrow") {
        flushBytes();
        if (m_out.endsWith(u'\t'))
            m_out.chop(1);
        m_out.append(u'\n');
    } else if (word == "emdash")
        text(0x2014);
    else if (word == "endash")
        text(0x2013);
    else if (word == "bullet")
        text(0x2022);
    else if (word == "lquote")
        text(0x2018);
    else if (word == "rquote")
        text(0x2019);
    else if (word == "ldblquote")
        text(0x201C);
    else if (word == "rdblquote")
        text(0x201D);
    else if (word == "emspace")
        text(0x2003);
    else if (word == "enspace")
        text(0x2002);
    else if (word == "qmspace")
        text(0x2005);
    else if (word == "zwj")
        text(0x200D);
    else if (word == "zwnj")
        text(0x200C);
    else if (word == "ltrmark")
        text(0x200E);
    else if (word == "rtlmark")
        text(0x200F);
    else if (word == "u" && parameter) {
        int value = *parameter;
        if (value < 0)
            value += 65536;
        if (value >= 0 && value <= 0xFFFF) {
            text(static_cast<char16_t>(value));
        }
        m_fallbackLeft = std::max(0, state().unicodeSkip);
    } else if (word == "uc" && parameter)
        state().unicodeSkip = std::max(0, *parameter);
    else if (word == "ansicpg" && parameter && *parameter > 0)
        m_ansiCodePage = *parameter;
    else if (word == "ansi")
        m_ansiCodePage = 1252;
    else if (word == "mac")
        m_ansiCodePage = 10000;
    else if (word == "pc")
        m_ansiCodePage = 437;
    else if (word == "pca")
        m_ansiCodePage = 850;
    else if (word == "deff" && parameter)
        m_defaultFont = *parameter;
    else if (word == "f" && parameter)
        state().font = *parameter;
    else if (word == "plain")
        state().font.reset();
    else if (word == "fonttbl") {
        flushBytes();
        state().mode = Mode::fontTable;
    } else if (word == "upr") {
        flushBytes();
        state().mode = Mode::skip;
        state().inUpr = true;
    } else
        destination(word);
}

void Parser::destination(std::string_view word) {
    if (std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), word) !=
        kSkippedDestinations.end()) {
        flushBytes();
        state().mode = Mode::skip;
    }
}

int Parser::fontCodePage(int font) const {
    if (const auto found = m_fonts.find(font); found != m_fonts.end()) {
        if (found->second.codePage && *found->second.codePage > 0)
            return *found->second.codePage;
        if (found->second.charset) {
            if (const auto page = codePageForCharset(*found->second.charset))
                return *page;
        }
    }
    return m_ansiCodePage;
}

// Skips one fallback character of the last \uN; true when `c` was one.
bool Parser::consumeFallback() {
    if (m_fallbackLeft <= 0)
        return false;
    --m_fallbackLeft;
    return true;
}

void Parser::text(char16_t c) {
    if (!shown())
        return;
    flushBytes();
    m_out.append(QChar(c));
}

void Parser::byte(unsigned char b) {
    if (!shown())
        return;
    // Bytes are collected so that a double-byte character written as two
    // \'hh escapes decodes as one.
    const int codePage = fontCodePage(state().font ? *state().font : m_defaultFont.value_or(-1));
    if (!m_pendingBytes.isEmpty() && m_pendingCodePage != codePage)
        flushBytes();
    m_pendingCodePage = codePage;
    m_pendingBytes.append(static_cast<char>(b));
}

void Parser::flushBytes() {
    if (m_pendingBytes.isEmpty())
        return;
    const QByteArray charset = iconvName(m_pendingCodePage);
    if (const auto utf8 = Iconv::toUtf8(m_pendingBytes, charset)) {
        m_out.append(QString::fromUtf8(*utf8));
    } else {
        // One bad byte should not lose the rest: read them one at a time.
        for (char b : std::as_const(m_pendingBytes)) {
            const auto one = Iconv::toUtf8(QByteArray(1, b), charset);
            if (one && !one->isEmpty())
                m_out.append(QString::fromUtf8(*one));
            else
                m_out.append(QChar(QChar::ReplacementCharacter));
        }
    }
    m_pendingBytes.clear();
}

} // namespace

std::optional<QString> plainText(const QByteArray& data) {
    qsizetype start = 0;
    while (start < data.size() && (data[start] == ' ' || data[start] == '\t' ||
                                   data[start] == '\r' || data[start] == '\n'))
        ++start;
    if (data.mid(start, 5) != "{\\rtf")
        return std::nullopt;
    const QByteArray body = data.mid(start);
    return Parser(body).run();
}

} // namespace tarvo::RTFReader
