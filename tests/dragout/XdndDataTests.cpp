#include "TarvoDrag/PasteboardOrder.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/x11/XdndData.h"
#include "support/PasteboardTypes.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

using namespace tarvo::test::types;

TEST(XdndDataTest, AnnouncedTypesFollowThePasteboardOrder) {
    struct Case {
        const char* name;
        QStringList types;
        int promises;
        QByteArrayList expected;
    };
    const QByteArrayList text{"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING",
                              "TEXT"};
    const std::vector<Case> cases{
        {"path first",
         {string, fileURL, url, promise},
         1,
         text +
             QByteArrayList{"text/uri-list", "text/x-moz-url", "_NETSCAPE_URL", "XdndDirectSave0"}},
        {"file first, one promise",
         {fileURL, png, jpeg, promise},
         1,
         {"text/uri-list", "image/png", "image/jpeg", "XdndDirectSave0"}},
        {"the promise first",
         {promise, fileURL, jpeg, string},
         1,
         QByteArrayList{"XdndDirectSave0", "text/uri-list", "image/jpeg"} + text},
        {"two promises save no file directly", {fileURL, promise}, 2, {"text/uri-list"}},
        {"a type X11 has no name for",
         {QStringLiteral("com.apple.flat-rtfd"), png},
         0,
         {"image/png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(XdndData::announcedTypes(c.types, c.promises), c.expected);
    }
    EXPECT_EQ(XdndData::carriedTypes({fileURL, promise}, 2), QStringList{fileURL});
}

TEST(XdndDataTest, WhichPasteboardTypesAnswerARequest) {
    const QStringList types{fileURL, png, jpeg, string, url, promise};
    EXPECT_EQ(XdndData::sources("text/uri-list", types), (QStringList{fileURL, url}));
    EXPECT_EQ(XdndData::sources("image/jpeg", types), QStringList{jpeg});
    EXPECT_EQ(XdndData::sources("UTF8_STRING", types), QStringList{string});
    EXPECT_EQ(XdndData::sources("XdndDirectSave0", types), QStringList());
    // A link's title is asked for beside it, never in its place.
    const QString title(TypeIdentifier::urlName);
    EXPECT_EQ(XdndData::sources("text/x-moz-url", {url, title}), QStringList{url});
    EXPECT_TRUE(XdndData::carriesTitles("_NETSCAPE_URL"));
    EXPECT_FALSE(XdndData::carriesTitles("text/uri-list"));
    EXPECT_EQ(XdndData::sources("image/gif", types), QStringList());
}

TEST(XdndDataTest, AnswersForSeveralItems) {
    using D = std::optional<PasteboardData>;
    const D first = PasteboardData::fromBytes("file:///a/1.png");
    const D second = PasteboardData::fromBytes("file:///b/2%20x.png");
    const D file = PasteboardData::fromFile("/a/1.png");
    struct Case {
        const char* name;
        QByteArray target;
        std::vector<D> items;
        D expected;
        std::vector<D> titles = {};
    };
    const std::vector<Case> cases{
        {"file list",
         "text/uri-list",
         {first, std::nullopt, second},
         PasteboardData::fromBytes("file:///a/1.png\r\nfile:///b/2%20x.png\r\n")},
        {"text joined by lines",
         "text/plain;charset=utf-8",
         {PasteboardData::fromBytes("'/a/1.png'"), PasteboardData::fromBytes("caf\xc3\xa9")},
         PasteboardData::fromBytes("'/a/1.png'\ncaf\xc3\xa9")},
        {"quoted paths joined by spaces, so a terminal runs none of them",
         "text/plain;charset=utf-8",
         {PasteboardData::fromShellWord("'/a/1 x.png'"), PasteboardData::fromShellWord("/b/2.txt")},
         PasteboardData::fromBytes("'/a/1 x.png' /b/2.txt")},
        {"a path among other text goes on its own line",
         "text/plain",
         {PasteboardData::fromShellWord("/b/2.txt"), PasteboardData::fromBytes("words")},
         PasteboardData::fromBytes("/b/2.txt\nwords")},
        {"Latin-1 for STRING",
         "STRING",
         {PasteboardData::fromBytes("caf\xc3\xa9")},
         PasteboardData::fromBytes("caf\xe9")},
        {"a link and its title in UTF-16",
         "text/x-moz-url",
         {PasteboardData::fromBytes("h:a")},
         PasteboardData::fromBytes(QByteArray("h\0:\0a\0\n\0T\0", 10)),
         {PasteboardData::fromBytes("T")}},
        {"links with and without titles, in UTF-8",
         "_NETSCAPE_URL",
         {PasteboardData::fromBytes("h:a"), std::nullopt, PasteboardData::fromBytes("h:b")},
         PasteboardData::fromBytes("h:a\nA title\nh:b\n"),
         {PasteboardData::fromBytes("A title"), std::nullopt, std::nullopt}},
        {"an image from the first item that has one",
         "image/png",
         {std::nullopt, file, first},
         file},
        {"nothing at all", "text/uri-list", {std::nullopt}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(XdndData::compose(c.target, c.items, c.titles), c.expected);
    }
}

} // namespace
