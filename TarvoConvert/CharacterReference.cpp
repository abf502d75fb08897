#include "CharacterReference.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace tarvo::CharacterReference {

namespace {

// The entities of HTML 4.01 plus "apos". Later versions of HTML added over two
// thousand names; pages that are read as plain text rarely use them, and a
// name we do not know simply stays in the text.
constexpr std::pair<const char*, char32_t> kListed[] = {
    {"quot", 0x22},     {"amp", 0x26},       {"apos", 0x27},     {"lt", 0x3C},
    {"gt", 0x3E},       {"OElig", 0x152},    {"oelig", 0x153},   {"Scaron", 0x160},
    {"scaron", 0x161},  {"Yuml", 0x178},     {"fnof", 0x192},    {"circ", 0x2C6},
    {"tilde", 0x2DC},   {"thetasym", 0x3D1}, {"upsih", 0x3D2},   {"piv", 0x3D6},
    {"ensp", 0x2002},   {"emsp", 0x2003},    {"thinsp", 0x2009}, {"zwnj", 0x200C},
    {"zwj", 0x200D},    {"lrm", 0x200E},     {"rlm", 0x200F},    {"ndash", 0x2013},
    {"mdash", 0x2014},  {"lsquo", 0x2018},   {"rsquo", 0x2019},  {"sbquo", 0x201A},
    {"ldquo", 0x201C},  {"rdquo", 0x201D},   {"bdquo", 0x201E},  {"dagger", 0x2020},
    {"Dagger", 0x2021}, {"bull", 0x2022},    {"hellip", 0x2026}, {"permil", 0x2030},
    {"prime", 0x2032},  {"Prime", 0x2033},   {"lsaquo", 0x2039}, {"rsaquo", 0x203A},
    {"oline", 0x203E},  {"frasl", 0x2044},   {"euro", 0x20AC},   {"image", 0x2111},
    {"weierp", 0x2118}, {"real", 0x211C},    {"trade", 0x2122},  {"alefsym", 0x2135},
    {"larr", 0x2190},   {"uarr", 0x2191},    {"rarr", 0x2192},   {"darr", 0x2193},
    {"harr", 0x2194},   {"crarr", 0x21B5},   {"lArr", 0x21D0},   {"uArr", 0x21D1},
    {"rArr", 0x21D2},   {"dArr", 0x21D3},    {"hArr", 0x21D4},   {"forall", 0x2200},
    {"part", 0x2202},   {"exist", 0x2203},   {"empty", 0x2205},  {"nabla", 0x2207},
    {"isin", 0x2208},   {"notin", 0x2209},   {"ni", 0x220B},     {"prod", 0x220F},
    {"sum", 0x2211},    {"minus", 0x2212},   {"lowast", 0x2217}, {"radic", 0x221A},
    {"prop", 0x221D},   {"infin", 0x221E},   {"ang", 0x2220},    {"and", 0x2227},
    {"or", 0x2228},     {"cap", 0x2229},     {"cup", 0x222A},    {"int", 0x222B},
    {"there4", 0x2234}, {"sim", 0x223C},     {"cong", 0x2245},   {"asymp", 0x2248},
    {"ne", 0x2260},     {"equiv", 0x2261},   {"le", 0x2264},     {"ge", 0x2265},
    {"sub", 0x2282},    {"sup", 0x2283},     {"nsub", 0x2284},   {"sube", 0x2286},
    {"supe", 0x2287},   {"oplus", 0x2295},   {"otimes", 0x2297}, {"perp", 0x22A5},
    {"sdot", 0x22C5},   {"lceil", 0x2308},   {"rceil", 0x2309},  {"lfloor", 0x230A},
    {"rfloor", 0x230B}, {"lang", 0x2329},    {"rang", 0x232A},   {"loz", 0x25CA},
    {"spades", 0x2660}, {"clubs", 0x2663},   {"hearts", 0x2665}, {"diams", 0x2666},
};
static_assert(std::size(kListed) == 108);

// Names for consecutive code points; an empty slot has no name.
constexpr const char* kLatin1[] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};
static_assert(std::size(kLatin1) == 96);

constexpr const char* kGreekCapitals[] = {
    "Alpha", "Beta",   "Gamma",   "Delta", "Epsilon", "Zeta",    "Eta",   "Theta", "Iota",
    "Kappa", "Lambda", "Mu",      "Nu",    "Xi",      "Omicron", "Pi",    "Rho",   "",
    "Sigma", "Tau",    "Upsilon", "Phi",   "Chi",     "Psi",     "Omega",
};
static_assert(std::size(kGreekCapitals) == 25);

constexpr const char* kGreekSmall[] = {
    "alpha", "beta",   "gamma",   "delta", "epsilon", "zeta",    "eta",   "theta", "iota",
    "kappa", "lambda", "mu",      "nu",    "xi",      "omicron", "pi",    "rho",   "sigmaf",
    "sigma", "tau",    "upsilon", "phi",   "chi",     "psi",     "omega",
};
static_assert(std::size(kGreekSmall) == 25);

// Numeric references to 0x80-0x9F mean the Windows-1252 characters, as
// browsers read them; the five undefined positions are left alone.
constexpr std::pair<char32_t, char32_t> kWindows1252[] = {
    {0x80, 0x20AC}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E}, {0x85, 0x2026}, {0x86, 0x2020},
    {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030}, {0x8A, 0x0160}, {0x8B, 0x2039}, {0x8C, 0x0152},
    {0x8E, 0x017D}, {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C}, {0x94, 0x201D}, {0x95, 0x2022},
    {0x96, 0x2013}, {0x97, 0x2014}, {0x98, 0x02DC}, {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A},
    {0x9C, 0x0153}, {0x9E, 0x017E}, {0x9F, 0x0178},
};
static_assert(std::size(kWindows1252) == 27);

struct Tables {
    std::unordered_map<std::string, char32_t> named;
    std::unordered_set<char32_t> bareNames;
    std::unordered_map<char32_t, char32_t> windows1252;

    Tables() {
        for (const auto& [name, code] : kListed)
            named.emplace(name, code);
        auto addRun = [this](char32_t first, const auto& names) {
            char32_t code = first;
            for (const char* name : names) {
                if (*name)
                    named.emplace(name, code);
                ++code;
            }
        };
        addRun(0xA0, kLatin1);
        addRun(0x391, kGreekCapitals);
        addRun(0x3B1, kGreekSmall);

        for (char32_t c = 0xA0; c <= 0xFF; ++c)
            bareNames.insert(c);
        for (char32_t c : {U'"', U'&', U'<', U'>'})
            bareNames.insert(c);

        for (const auto& [from, to] : kWindows1252)
            windows1252.emplace(from, to);
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

bool isValidScalar(char32_t c) {
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

bool isAsciiAlnum(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
}

int digitValue(char32_t c, int base) {
    if (c >= U'0' && c <= U'9')
        return static_cast<int>(c - U'0');
    if (base == 16) {
        if (c >= U'a' && c <= U'f')
            return static_cast<int>(c - U'a') + 10;
        if (c >= U'A' && c <= U'F')
            return static_cast<int>(c - U'A') + 10;
    }
    return -1;
}

std::optional<Decoded> decodeNumeric(std::u32string_view s, std::size_t at) {
    std::size_t p = at + 2; // after "&#"
    int base = 10;
    if (p < s.size() && (s[p] == U'x' || s[p] == U'X')) {
        base = 16;
        ++p;
    }
    // Clamped so that a long run of digits cannot overflow; anything this
    // large reads as U+FFFD anyway.
    char32_t value = 0;
    std::size_t digits = 0;
    while (p < s.size()) {
        const int d = digitValue(s[p], base);
        if (d < 0)
            break;
        value = std::min<char32_t>(value * static_cast<char32_t>(base) + static_cast<char32_t>(d),
                                   0x110000);
        ++digits;
        ++p;
    }
    if (digits == 0)
        return std::nullopt;
    if (p < s.size() && s[p] == U';')
        ++p;
    return Decoded{scalar(value), p - at};
}

} // namespace

char32_t scalar(char32_t codePoint) {
    const auto& map = tables().windows1252;
    if (const auto found = map.find(codePoint); found != map.end())
        return found->second;
    if (codePoint == 0 || !isValidScalar(codePoint))
        return 0xFFFD;
    return codePoint;
}

std::optional<char32_t> character(std::u32string_view name) {
    std::string key;
    key.reserve(name.size());
    for (char32_t c : name) {
        if (c > 0x7F)
            return std::nullopt;
        key.push_back(static_cast<char>(c));
    }
    const auto& named = tables().named;
    const auto found = named.find(key);
    if (found == named.end() || !isValidScalar(found->second))
        return std::nullopt;
    return found->second;
}

std::optional<Decoded> decode(std::u32string_view s, std::size_t at) {
    if (at + 1 >= s.size())
        return std::nullopt;
    if (s[at + 1] == U'#')
        return decodeNumeric(s, at);

    constexpr std::size_t maxRun = 9;
    std::size_t end = at + 1;
    while (end < s.size() && end - (at + 1) < maxRun && isAsciiAlnum(s[end]))
        ++end;
    const std::u32string_view run = s.substr(at + 1, end - (at + 1));

    if (end < s.size() && s[end] == U';' && !run.empty()) {
        if (const auto c = character(run))
            return Decoded{*c, run.size() + 2};
    }
    // Old pages write the Latin-1 names and the four markup characters without
    // their semicolon; only those names are recognised that way.
    const auto& bare = tables().bareNames;
    for (std::size_t length = std::min<std::size_t>(run.size(), 6); length >= 2; --length) {
        if (const auto c = character(run.substr(0, length)); c && bare.contains(*c))
            return Decoded{*c, length + 1};
    }
    return std::nullopt;
}

} // namespace tarvo::CharacterReference
