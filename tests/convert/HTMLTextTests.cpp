#include "TarvoConvert/HTMLReader.h"
#include "TarvoConvert/HTMLText.h"
#include "TarvoConvert/TextConverter.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

struct Case {
    const char* name;
    QByteArray bytes;
    QString expected;
};

QString readHTML(const QString& html) {
    return HTMLText::Reader(html).read();
}

} // namespace

TEST(HTMLTextDecode, ByteOrderMarksDeclarationsAndFallbacks) {
    const QByteArray padding(1100, ' ');
    const std::vector<Case> cases = {
        {"UTF-8 mark is dropped",
         QByteArray("\xEF\xBB\xBF"
                    "caf\xC3\xA9"),
         QStringLiteral("café")},
        {"undeclared byte reads as Windows-1252", QByteArray("caf\xE9"), QStringLiteral("café")},
        {"Windows-1252 punctuation", QByteArray("\x93quoted\x94"), QStringLiteral("“quoted”")},
        {"declared UTF-8 replaces the bad byte", QByteArray("<meta charset=\"utf-8\">caf\xE9"),
         QStringLiteral("<meta charset=\"utf-8\">caf\uFFFD")},
        {"declared charset in http-equiv form",
         QByteArray("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1251\">"
                    "\xCF\xF0\xE8"),
         QStringLiteral("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                        "charset=windows-1251\">При")},
        {"declared utf-16 in an ASCII page is ignored", QByteArray("<meta charset=utf-16>\xE9"),
         QStringLiteral("<meta charset=utf-16>é")},
        {"a charset that changes ASCII is ignored", QByteArray("<meta charset=ibm037>\xE9"),
         QStringLiteral("<meta charset=ibm037>é")},
        {"an unknown charset is ignored", QByteArray("<meta charset=no-such-set>\xE9"),
         QStringLiteral("<meta charset=no-such-set>é")},
        {"a declaration past the first 1024 bytes is not seen",
         padding + "<meta charset=utf-8>\xE9",
         QString::fromLatin1(padding) + "<meta charset=utf-8>é"},
        {"charset outside the meta tag does not count",
         QByteArray("<meta name=x>charset=utf-8 \xE9"),
         QStringLiteral("<meta name=x>charset=utf-8 é")},
        {"UTF-16 little-endian with mark",
         QByteArray("\xFF\xFE"
                    "h\0i\0",
                    6),
         QStringLiteral("hi")},
        {"UTF-16 big-endian with mark", QByteArray("\xFE\xFF\0h\0i", 6), QStringLiteral("hi")},
        {"broken UTF-16 falls through to Windows-1252",
         QByteArray("\xFF\xFE"
                    "a",
                    3),
         QStringLiteral("ÿþa")},
        {"valid UTF-8 without declaration", QByteArray("\xE2\x82\xAC"), QStringLiteral("€")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HTMLText::decode(c.bytes), c.expected);
    }
}

TEST(HTMLTextDecode, UndefinedWindows1252BytesEndInReplacement) {
    // 0x81 is not a Windows-1252 character, so no strict decoding succeeds.
    EXPECT_EQ(HTMLText::decode(QByteArray("a\x81"
                                          "b")),
              QStringLiteral("a\uFFFDb"));
}

TEST(HTMLReader, BlocksLinesAndWhiteSpace) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"one<p>two<p>three", "one\ntwo\nthree"},
        {"<div><p>one</p></div><div><p>two</p></div>", "one\ntwo"},
        {"a<br><br>b", "a\n\nb"},
        {"a<br/>b", "a\nb"},
        {"  a \t\n  b  \n", "a b"},
        {"<p></p><p></p>text<p></p>", "text"},
        {"<br><br>text<br><br>", "text"},
        {"<table><tr><td>a</td><td>b</td></tr><tr><td>c<th>d</table>", "a\tb\nc\td"},
        {"<pre>\n  x\n y  z\n\n</pre>", "  x\n y  z"},
        {"before<pre>in  side</pre>after", "before\nin  side\nafter"},
        {"a<b>b</b><i>c</i> d", "abc d"},
        {"line one\r\nline two\rthree", "line one line two three"},
        {"<pre>a\r\nb\rc</pre>", "a\nb\nc"},
        {QString::fromLatin1("a\0b", 3), "ab"},
        // A zero-width no-break space the page starts with stays, and the break
        // after it stays between it and the next line.
        {QStringLiteral(u"\uFEFF<p>h"), QStringLiteral(u"\uFEFF\nh")},
    };
    for (const auto& [html, expected] : cases) {
        SCOPED_TRACE(html.toStdString());
        EXPECT_EQ(readHTML(html), expected);
    }
}

TEST(HTMLReader, InvisibleElementsAndMarkup) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"a<script>document.write('<p>x</p>')</script>b", "ab"},
        {"a<script>if (a < b) {}</SCRIPT >b", "ab"},
        {"a<script>x</scripts></script>b", "ab"},
        {"<head><title>Title</title><style>p { color: red }</style></head><body>text</body>",
         "text"},
        {"a<noscript>enable scripts</noscript>b<template><p>t</p></template>c", "abc"},
        {"text<script>never closed", "text"},
        {"a<!-- comment <p> -->b", "ab"},
        {"a<!-- never closed", "a"},
        {"a<!DOCTYPE html>b<?xml version=\"1.0\"?>c", "abc"},
        {"a<?unterminated", "a"},
        {"a < b", "a < b"},
        {"1<2", "1<2"},
        {"a</ >b", "ab"},
        {"a</ no end", "a</ no end"},
        {"x<", "x<"},
        {"<a title=\"x>y\" href='p>q'>link</a>", "link"},
        {"<a title=x\"y>z</a>", "z"},
        {"<averyveryverylongtagnamethatgoesonandon>x", "x"},
    };
    for (const auto& [html, expected] : cases) {
        SCOPED_TRACE(html.toStdString());
        EXPECT_EQ(readHTML(html), expected);
    }
}

TEST(HTMLReader, CharacterReferences) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"&amp;", "&"},
        {"&ampx", "&x"},
        {"&notit;", QStringLiteral("¬it;")},
        {"&apos;", "'"},
        {"&apos", "&apos"},
        {"&#x20AC;", QStringLiteral("€")},
        {"&#X20ac", QStringLiteral("€")},
        {"&#128;", QStringLiteral("€")},
        {"&#129;", QStringLiteral("\u0081")},
        {"&#0;", QStringLiteral("\uFFFD")},
        {"&#xD800;", QStringLiteral("\uFFFD")},
        {"&#99999999999999;", QStringLiteral("\uFFFD")},
        {"&#x1F600;", QStringLiteral("\U0001F600")},
        {"&#;", "&#;"},
        {"&#x;", "&#x;"},
        {"&bogus;", "&bogus;"},
        {"&", "&"},
        {"a & b", "a & b"},
        {"&eacute;t&eacute", QStringLiteral("été")},
        {"&Omega;&omega;&sigmaf;", QStringLiteral("Ωως")},
        {"&hellip;&euro;&lt;&gt;&quot;", QStringLiteral("…€<>\"")},
        {"&nbsp;x", QStringLiteral("\u00A0x")},
        {"&copy2024", QStringLiteral("©2024")},
    };
    for (const auto& [html, expected] : cases) {
        SCOPED_TRACE(html.toStdString());
        EXPECT_EQ(readHTML(html), expected);
    }
}

TEST(HTMLReader, ThePlainTextOfAStoredPage) {
    const QByteArray page =
        "<!DOCTYPE html><html><head><meta charset=\"windows-1252\"><title>Menu</title></head>"
        "<body><h1>Caf\xE9</h1><ul><li>Tea &amp; cake</li><li>Cr\xE8me br\xFBl\xE9"
        "e</li></ul>"
        "<p>Open <b>daily</b>.</p></body></html>";
    EXPECT_EQ(TextConverter::plainTextFromHTML(page),
              QStringLiteral("Café\nTea & cake\nCrème brûlée\nOpen daily."));
}
