#include "TarvoUpdates/AppcastError.h"
#include "TarvoUpdates/AppcastParser.h"
#include "UpdatesPrinters.h"

#include <gtest/gtest.h>

#include <variant>

using namespace tarvo;

namespace {

QByteArray feed(const char* items) {
    return QByteArray(R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="https://example.invalid/xml-namespaces/appcast"><channel>
<title>Tarvo updates</title>
)") + items +
           "\n</channel></rss>\n";
}

AppcastItem item(qint64 build, const char* shortVersion, const char* url) {
    AppcastItem result;
    result.build = build;
    result.shortVersion = QString::fromUtf8(shortVersion);
    result.url = QUrl(QString::fromUtf8(url));
    return result;
}

AppcastItem with(AppcastItem base, void (*change)(AppcastItem&)) {
    change(base);
    return base;
}

using Outcome = std::variant<std::vector<AppcastItem>, AppcastError::Kind>;

struct ParseCase {
    const char* name;
    QByteArray document;
    Outcome expected;
};

Outcome parseOutcome(const QByteArray& document) {
    try {
        return AppcastParser::parse(document);
    } catch (const AppcastError& error) {
        return error.kind();
    }
}

const char* kindName(AppcastError::Kind kind) {
    switch (kind) {
    case AppcastError::Kind::malformedFeed:
        return "malformedFeed";
    case AppcastError::Kind::noItems:
        return "noItems";
    default:
        return "another error";
    }
}

} // namespace

TEST(AppcastParser, ReadsEachFormOfTheFeed) {
    const std::vector<ParseCase> cases = {
        {"attribute form with every field", feed(R"(<item>
  <title>
    Version 2.1
  </title>
  <description><![CDATA[<p>Faster</p>]]></description>
  <sparkle:minimumSystemVersion> 12.0 </sparkle:minimumSystemVersion>
  <enclosure url="https://example.invalid/tarvo_2.1.deb" length="2048"
    sparkle:version="21" sparkle:shortVersionString="2.1" sparkle:edSignature=" AAAA "/>
</item>)"),
         std::vector{with(item(21, "2.1", "https://example.invalid/tarvo_2.1.deb"),
                          [](AppcastItem& i) {
                              i.title = "Version 2.1";
                              i.releaseNotesHTML = "<p>Faster</p>";
                              i.minimumSystemVersion = "12.0";
                              i.edSignature = " AAAA ";
                              i.length = 2048;
                          })}},
        {"element form", feed(R"(<item><sparkle:version>20</sparkle:version>
<sparkle:shortVersionString> 2.0 </sparkle:shortVersionString>
<enclosure url="https://example.invalid/a.deb"/></item>)"),
         std::vector{item(20, "2.0", "https://example.invalid/a.deb")}},
        {"no rss or channel around the item",
         R"(<item><enclosure url="https://example.invalid/a.zip" sparkle:version="3"/></item>)",
         std::vector{item(3, "3", "https://example.invalid/a.zip")}},
        {"build 512 and no short version anywhere",
         feed(R"(<item><enclosure url="https://example.invalid/a" sparkle:version="512"/></item>)"),
         std::vector{item(512, "512", "https://example.invalid/a")}},
        {"several usable items in document order",
         feed(R"(<item><enclosure url="https://example.invalid/10" sparkle:version="10"/></item>
<item><title>skipped</title></item>
<item><enclosure url="https://example.invalid/14" sparkle:version="14"/></item>
<item><enclosure url="https://example.invalid/12" sparkle:version="12"/></item>)"),
         std::vector{item(10, "10", "https://example.invalid/10"),
                     item(14, "14", "https://example.invalid/14"),
                     item(12, "12", "https://example.invalid/12")}},
        {"only item without enclosure", feed("<item><sparkle:version>4</sparkle:version></item>"),
         AppcastError::Kind::noItems},
        {"enclosure without url",
         feed(R"(<item><enclosure sparkle:version="4" length="10"/></item>)"),
         AppcastError::Kind::noItems},
        {"enclosure with an empty url",
         feed(R"(<item><enclosure url="" sparkle:version="4"/></item>)"),
         AppcastError::Kind::noItems},
        {"enclosure with an unparsable url",
         feed(R"(<item><enclosure url="https://[::1" sparkle:version="4"/></item>)"),
         AppcastError::Kind::noItems},
        {"a later enclosure without url loses the earlier one",
         feed(R"(<item><enclosure url="https://example.invalid/a" sparkle:version="4"/>
<enclosure length="5"/></item>)"),
         AppcastError::Kind::noItems},
        {"no build number in either form",
         feed(
             R"(<item><enclosure url="https://example.invalid/a" sparkle:shortVersionString="1.0"/></item>)"),
         AppcastError::Kind::noItems},
        {"build that is not a number",
         feed(R"(<item><enclosure url="https://example.invalid/a" sparkle:version="1.0"/>
<sparkle:version>seven</sparkle:version></item>)"),
         AppcastError::Kind::noItems},
        {"the prefix bound to the namespace under another name is not read",
         R"(<rss xmlns:sp="https://example.invalid/xml-namespaces/appcast"><channel><item>
<enclosure url="https://example.invalid/a" sp:version="4"/></item></channel></rss>)",
         AppcastError::Kind::noItems},
        {"not well-formed after a complete item",
         R"(<rss><channel><item><enclosure url="https://example.invalid/a" sparkle:version="4"/></item>
<item></channel></rss>)",
         AppcastError::Kind::malformedFeed},
        {"cut off after a complete item",
         R"(<rss><channel><item><enclosure url="https://example.invalid/a" sparkle:version="4"/></item>)",
         AppcastError::Kind::malformedFeed},
        {"empty document", "", AppcastError::Kind::malformedFeed},
        {"not XML at all", "{\"items\": []}", AppcastError::Kind::malformedFeed},
        {"well-formed without any item", feed(""), AppcastError::Kind::noItems},
        {"entities that expand without bound",
         R"(<?xml version="1.0"?>
<!DOCTYPE rss [
<!ENTITY a "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa">
<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
<!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">
<!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;">
]>
<rss><channel><item><title>&e;</title>
<enclosure url="https://example.invalid/a" sparkle:version="4"/></item></channel></rss>)",
         AppcastError::Kind::malformedFeed},
        {"an entity declared in the document expands",
         R"(<?xml version="1.0"?>
<!DOCTYPE rss [<!ENTITY v "5.0">]>
<rss><channel><item><title>Tarvo &v; &amp; more</title>
<enclosure url="https://example.invalid/a?x=1&amp;y=2" sparkle:version="50"/></item></channel></rss>)",
         std::vector{with(item(50, "50", "https://example.invalid/a?x=1&y=2"),
                          [](AppcastItem& i) { i.title = "Tarvo 5.0 & more"; })}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = parseOutcome(c.document);
        if (const auto* kind = std::get_if<AppcastError::Kind>(&c.expected)) {
            ASSERT_TRUE(std::holds_alternative<AppcastError::Kind>(outcome))
                << "parsed " << ::testing::PrintToString(std::get<0>(outcome));
            EXPECT_EQ(kindName(std::get<AppcastError::Kind>(outcome)),
                      std::string(kindName(*kind)));
        } else {
            ASSERT_TRUE(std::holds_alternative<std::vector<AppcastItem>>(outcome))
                << "failed with " << kindName(std::get<AppcastError::Kind>(outcome));
            EXPECT_EQ(std::get<0>(outcome), std::get<0>(c.expected));
        }
    }
}

TEST(AppcastParser, ReadsFieldsAsTheyAreWritten) {
    struct Case {
        const char* name;
        const char* itemBody;
        void (*expect)(const AppcastItem&);
    };
    const std::vector<Case> cases = {
        {"length abc", R"(<enclosure url="https://e.invalid/a" sparkle:version="1" length="abc"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.length, 0); }},
        {"length empty", R"(<enclosure url="https://e.invalid/a" sparkle:version="1" length=""/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.length, 0); }},
        {"length +2048",
         R"(<enclosure url="https://e.invalid/a" sparkle:version="1" length="+2048"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.length, 2048); }},
        {"length with a space",
         R"(<enclosure url="https://e.invalid/a" sparkle:version="1" length=" 20"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.length, 0); }},
        {"length past 64 bits",
         R"(<enclosure url="https://e.invalid/a" sparkle:version="1" length="9223372036854775808"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.length, 0); }},
        {"version element after the enclosure overrides its attribute",
         R"(<enclosure url="https://e.invalid/a" sparkle:version="11"/><sparkle:version>12</sparkle:version>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.build, 12); }},
        {"version element before the enclosure keeps its build",
         R"(<sparkle:version>12</sparkle:version><enclosure url="https://e.invalid/a" sparkle:version="11"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.build, 12); }},
        {"a later version element that is no number keeps the build",
         R"(<enclosure url="https://e.invalid/a" sparkle:version="11"/><sparkle:version>twelve</sparkle:version>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.build, 11); }},
        {"short version element always overwrites",
         R"(<enclosure url="https://e.invalid/a" sparkle:version="1" sparkle:shortVersionString="1.0"/>
<sparkle:shortVersionString>1.1</sparkle:shortVersionString>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.shortVersion, "1.1"); }},
        {"short version attribute only while none is set",
         R"(<sparkle:shortVersionString>1.1</sparkle:shortVersionString>
<enclosure url="https://e.invalid/a" sparkle:version="1" sparkle:shortVersionString="1.0"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.shortVersion, "1.1"); }},
        {"title and description trimmed of spaces and line breaks",
         "<title>\n\t Tarvo 2 \r\n</title><description>\n  <![CDATA[ notes ]]>\n</description>"
         R"(<enclosure url="https://e.invalid/a" sparkle:version="1"/>)",
         [](const AppcastItem& i) {
             EXPECT_EQ(i.title, "Tarvo 2");
             EXPECT_EQ(i.releaseNotesHTML, QString("notes"));
         }},
        {"description of white space only is absent",
         "<description> \n\t </description>"
         R"(<enclosure url="https://e.invalid/a" sparkle:version="1"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.releaseNotesHTML, std::nullopt); }},
        {"text after the last child element",
         "<title>first<b>bold</b> last </title>"
         R"(<enclosure url="https://e.invalid/a" sparkle:version="1"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.title, "last"); }},
        {"no title element", R"(<enclosure url="https://e.invalid/a" sparkle:version="1"/>)",
         [](const AppcastItem& i) {
             EXPECT_EQ(i.title, "");
             EXPECT_EQ(i.edSignature, "");
             EXPECT_EQ(i.minimumSystemVersion, std::nullopt);
         }},
        {"empty minimum system version is kept empty",
         "<sparkle:minimumSystemVersion> </sparkle:minimumSystemVersion>"
         R"(<enclosure url="https://e.invalid/a" sparkle:version="1"/>)",
         [](const AppcastItem& i) { EXPECT_EQ(i.minimumSystemVersion, QString("")); }},
        {"negative build", R"(<enclosure url="https://e.invalid/a" sparkle:version="-3"/>)",
         [](const AppcastItem& i) {
             EXPECT_EQ(i.build, -3);
             EXPECT_EQ(i.shortVersion, "-3");
         }},
        {"the signature exactly as written",
         "<enclosure url=\"https://e.invalid/a\" sparkle:version=\"1\" "
         "sparkle:edSignature=\"ab&#10;cd\"/>",
         [](const AppcastItem& i) { EXPECT_EQ(i.edSignature, "ab\ncd"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray document =
            feed((QByteArray("<item>") + c.itemBody + "</item>").constData());
        std::vector<AppcastItem> items;
        try {
            items = AppcastParser::parse(document);
        } catch (const AppcastError& error) {
            FAIL() << error.description().toStdString();
        }
        ASSERT_EQ(items.size(), 1u);
        c.expect(items.front());
    }
}

TEST(AppcastParser, ChannelTitleIsNotAnItemTitle) {
    const auto items = AppcastParser::parse(
        R"(<rss><channel><title>Channel</title><item><enclosure url="https://e.invalid/a" sparkle:version="1"/></item></channel></rss>)");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].title, "");
}

TEST(AppcastParser, DecimalIntegers) {
    const std::vector<std::pair<const char16_t*, std::optional<qint64>>> cases = {
        {u"0", 0},
        {u"42", 42},
        {u"+42", 42},
        {u"-42", -42},
        {u"-0", 0},
        {u"007", 7},
        {u"", std::nullopt},
        {u"+", std::nullopt},
        {u"-", std::nullopt},
        {u" 1", std::nullopt},
        {u"1 ", std::nullopt},
        {u"1.0", std::nullopt},
        {u"1e3", std::nullopt},
        {u"0x10", std::nullopt},
        {u"+-1", std::nullopt},
        {u"\u0661\u0662", std::nullopt}, // Arabic-Indic digits
        {u"9223372036854775807", std::numeric_limits<qint64>::max()},
        {u"9223372036854775808", std::nullopt},
        {u"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {u"-9223372036854775809", std::nullopt},
        {u"99999999999999999999999", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(QString::fromUtf16(text).toStdString());
        EXPECT_EQ(AppcastParser::decimalInteger(QStringView(text)), expected);
    }
}

TEST(AppcastError, DescriptionsNameTheCaseAndPayload) {
    EXPECT_EQ(AppcastError::lengthMismatch(10, 11).description(),
              "lengthMismatch(expected: 10, got: 11)");
    EXPECT_EQ(AppcastError::downloadFailed("HTTP 404").description(), "downloadFailed(HTTP 404)");
    EXPECT_EQ(AppcastError::noItems().description(), "noItems");
    EXPECT_EQ(AppcastError::signatureInvalid().description(), "signatureInvalid");
    EXPECT_EQ(AppcastError::malformedFeed().description(), "malformedFeed");
    EXPECT_EQ(AppcastError::downloadFailed("HTTP 500"), AppcastError::downloadFailed("HTTP 500"));
    EXPECT_FALSE(AppcastError::lengthMismatch(1, 2) == AppcastError::lengthMismatch(1, 3));
}
