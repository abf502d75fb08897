#include "ConvertPrinters.h"
#include "TarvoConvert/ConversionError.h"
#include "TarvoConvert/TextConverter.h"

#include <gtest/gtest.h>

using namespace tarvo;

TEST(RTFReader, PlainTextOfRichText) {
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {R"({\rtf1\ansi\ansicpg1252\cocoartf2709
{\fonttbl\f0\fswiss\fcharset0 Helvetica;}
{\colortbl;\red255\green255\blue255;}
\pard\tx560\pardirnatural\partightenfactor0
\f0\fs24 \cf0 Hello \b bold\b0  world\
next line\par last})",
         "Hello bold world\nnext line\nlast"},
        {R"({\rtf1 caf\'e9 na\'EFve})", QStringLiteral("café naïve")},
        {R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8})", QStringLiteral("При")},
        {R"({\rtf1\mac \'8e})", QStringLiteral("é")},
        {R"({\rtf1 \{braces\} and \\backslash})", "{braces} and \\backslash"},
        {R"({\rtf1 a\tab b\line c\~d\_e\-f})", QStringLiteral("a\tb\nc\u00A0d\u2011ef")},
        {R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})",
         QStringLiteral("—–•‘’“”")},
        {R"({\rtf1 {\b bold}{\i italic} plain})", "bolditalic plain"},
        {R"({\rtf1 a
b
c})",
         "abc"},
        {R"({\rtf1 unclosed group {\b and document)", "unclosed group and document"},
        {R"({\rtf1 end} after the document)", "end"},
        {R"({\rtf1 \trowd\cellx1000\cellx2000 a\cell b\cell\row c\cell d\cell\row})",
         "a\tb\nc\td\n"},
        {R"({\rtf1 \unknownword123 text \*\notadestination})", "text "},
        {"{\\rtf1 ends with a backslash\\", "ends with a backslash"},
        {"  \r\n{\\rtf1 leading white space}", "leading white space"},
    };
    for (const auto& [rtf, expected] : cases) {
        SCOPED_TRACE(rtf.toStdString());
        EXPECT_EQ(TextConverter::plainTextFromRTF(rtf), expected);
    }
}

TEST(RTFReader, UnicodeEscapesAndTheirFallbacks) {
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {R"({\rtf1 \u8364? euro})", QStringLiteral("€ euro")},
        {R"({\rtf1 \u8364\'80 euro})", QStringLiteral("€ euro")},
        {R"({\rtf1\uc2 \u8364??x})", QStringLiteral("€x")},
        {R"({\rtf1\uc0 \u8364 x})", QStringLiteral("€x")},
        {R"({\rtf1 {\uc3 \u8364abc}\u8364?d})", QStringLiteral("€€d")},
        {R"({\rtf1 \u-10179?\u-8704?})", QStringLiteral("\U0001F600")},
        {R"({\rtf1 \u-3913?})", QStringLiteral("\uF0B7")},
        {R"({\rtf1 \u-10179? alone})", QStringLiteral("\uFFFD alone")},
        {R"({\rtf1 \u8364{}x})", QStringLiteral("€x")},
        {R"({\rtf1 {\upr{ansi text}{\*\ud{unicode \u8364?}}}})", QStringLiteral("unicode €")},
    };
    for (const auto& [rtf, expected] : cases) {
        SCOPED_TRACE(rtf.toStdString());
        EXPECT_EQ(TextConverter::plainTextFromRTF(rtf), expected);
    }
}

TEST(RTFReader, FontCodePages) {
    // Shift-JIS bytes for "あ" under a font with charset 128, then a Windows-1252
    // byte under the default font.
    const QByteArray rtf =
        R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\froman Times;}{\f1\fnil\fcharset128 Gothic;}})"
        R"(\f1\'82\'a0\f0 \'e9{\f1 \'82\'a2}\'e9})";
    EXPECT_EQ(TextConverter::plainTextFromRTF(rtf), QStringLiteral("あéいé"));

    const QByteArray cpg = R"({\rtf1{\fonttbl{\f2\cpg1253 Greek;}}\f2\'e1\plain\'e1})";
    EXPECT_EQ(TextConverter::plainTextFromRTF(cpg), QStringLiteral("αá"));
}

TEST(RTFReader, DestinationsWithoutBodyTextAreSkipped) {
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {R"({\rtf1{\*\generator Writer 1.0;}{\info{\title The title}{\author Someone}}body})",
         "body"},
        {R"({\rtf1{\stylesheet{\s0 Normal;}}{\colortbl;\red0\green0\blue0;}body})", "body"},
        {R"({\rtf1 before{\pict\pngblip 89504e47}after})", "beforeafter"},
        {R"({\rtf1 a{\pict\bin4 {}\x}b})", "ab"},
        {R"({\rtf1 see {\field{\*\fldinst HYPERLINK "https://example.com"}{\fldrslt the site}}.})",
         "see the site."},
        {R"({\rtf1 {\header page head}{\footer page foot}text})", "text"},
        {R"({\rtf1 {\*\unknown {\nested text} more}shown})", "shown"},
        {R"({\rtf1 {\listtext\'95\tab}item})", QStringLiteral("•\titem")},
    };
    for (const auto& [rtf, expected] : cases) {
        SCOPED_TRACE(rtf.toStdString());
        EXPECT_EQ(TextConverter::plainTextFromRTF(rtf), expected);
    }
}

TEST(RTFReader, DataThatIsNotRTFIsRefused) {
    const ConversionError expected = ConversionError::cannotDecode(QStringLiteral("rich text"));
    for (const QByteArray& data : {QByteArray(), QByteArray("plain text"), QByteArray("{\\rt"),
                                   QByteArray("<html>"), QByteArray("\x89PNG\r\n")}) {
        SCOPED_TRACE(data.toStdString());
        try {
            TextConverter::plainTextFromRTF(data);
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& error) {
            EXPECT_EQ(error, expected);
        }
    }
    // RTFD is a bundle format with no reader on this platform.
    try {
        TextConverter::plainTextFromRTFD("{\\rtf1 text}");
        ADD_FAILURE() << "no error";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error, expected);
    }
}
