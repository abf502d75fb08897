#include "TarvoPlatform/MimePasteboard.h"

#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/MemoryFilePromiseReceiver.h"

#include <gtest/gtest.h>

#include <QMimeData>

using namespace tarvo;

namespace {

QByteArray utf16(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

TEST(MimePasteboard, TypesAreIdentifiersInTheDataOrder) {
    QMimeData data;
    EXPECT_EQ(MimePasteboard(data).types(), std::nullopt);
    data.setData("application/x-private", "p");
    data.setData("text/html", "<b>hi</b>");
    data.setData("text/plain", "hi");
    data.setData("image/webp", "w");
    EXPECT_EQ(MimePasteboard(data).types(),
              (QStringList{"public.html", "public.utf8-plain-text", "public.image"}));
}

TEST(MimePasteboard, DataAndStringsComeFromTheMatchingFormat) {
    QMimeData data;
    data.setData("text/plain;charset=utf-8", QString::fromUtf8("na\xc3\xafve").toUtf8());
    data.setData("image/png", "png bytes");
    data.setData("text/html", "<i>x</i>");
    data.setData("image/gif", "gif bytes");
    const MimePasteboard pasteboard(data);
    EXPECT_EQ(pasteboard.data(TypeIdentifier::png), "png bytes");
    EXPECT_EQ(pasteboard.data(TypeIdentifier::tiff), std::nullopt);
    EXPECT_EQ(pasteboard.data(TypeIdentifier::image), "gif bytes");
    EXPECT_EQ(pasteboard.string(TypeIdentifier::utf8PlainText), QString::fromUtf8("na\xc3\xafve"));
    EXPECT_EQ(pasteboard.string(TypeIdentifier::html), "<i>x</i>");
    EXPECT_EQ(pasteboard.string(TypeIdentifier::rtf), std::nullopt);
}

TEST(MimePasteboard, TextLinesEndInLineFeeds) {
    struct Case {
        const char* name;
        QByteArray bytes;
        QString expected;
    };
    const std::vector<Case> cases{
        {"CR LF", "first\r\nsecond\r\n", "first\nsecond\n"},
        {"a lone CR stays", "one\rtwo\r\nthree", "one\rtwo\nthree"},
        {"LF as it is", "a\nb", "a\nb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QMimeData data;
        data.setData("text/plain;charset=utf-8", c.bytes);
        EXPECT_EQ(MimePasteboard(data).string(TypeIdentifier::utf8PlainText), c.expected);
    }
}

TEST(MimePasteboard, URLsAreNotText) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/a b.txt"), QUrl("https://example.org/x")});
    const MimePasteboard pasteboard(data);
    EXPECT_EQ(pasteboard.string(TypeIdentifier::utf8PlainText), std::nullopt);
    EXPECT_EQ(pasteboard.readURLs(false),
              (QList<QUrl>{QUrl::fromLocalFile("/tmp/a b.txt"), QUrl("https://example.org/x")}));
    EXPECT_EQ(pasteboard.readURLs(true), QList<QUrl>{QUrl::fromLocalFile("/tmp/a b.txt")});
}

TEST(MimePasteboard, MozillaLinksCarryTheirTitle) {
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const std::vector<Case> cases{
        {"UTF-16", utf16("https://example.org/page\nThe Page")},
        {"UTF-16 with a byte-order mark",
         utf16(QChar(0xFEFF) + QString("https://example.org/page\nThe Page"))},
        {"UTF-8", "https://example.org/page\nThe Page"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QMimeData data;
        data.setData("text/x-moz-url", c.bytes);
        const MimePasteboard pasteboard(data);
        EXPECT_EQ(pasteboard.readURLs(false), QList<QUrl>{QUrl("https://example.org/page")});
        EXPECT_EQ(pasteboard.string(TypeIdentifier::urlName), "The Page");
    }
}

TEST(MimePasteboard, RelativeOrBrokenURLListGivesNone) {
    QMimeData data;
    data.setData("text/uri-list", "file:///tmp/ok\r\nnot a url at all\r\n");
    EXPECT_TRUE(MimePasteboard(data).readURLs(false).isEmpty());
}

struct FixedPromises final : DropPromises {
    std::vector<std::shared_ptr<FilePromiseReceiver>> list;
    int asked = 0;
    std::vector<std::shared_ptr<FilePromiseReceiver>> receivers(const QMimeData&) override {
        ++asked;
        return list;
    }
};

TEST(MimePasteboard, PromisesAreAskedOnlyWhenTheDropOffersADirectSave) {
    FixedPromises promises;
    promises.list = {std::make_shared<MemoryFilePromiseReceiver>(QStringList{"a.txt"})};
    QMimeData plain;
    plain.setText("x");
    EXPECT_TRUE(MimePasteboard(plain, &promises).readFilePromiseReceivers().empty());
    EXPECT_EQ(promises.asked, 0);

    QMimeData save;
    save.setData("XdndDirectSave0", QByteArray());
    EXPECT_EQ(MimePasteboard(save, &promises).readFilePromiseReceivers().size(), 1u);
    EXPECT_TRUE(MimePasteboard(save).readFilePromiseReceivers().empty());
    EXPECT_EQ(MimePasteboard(save).types(), QStringList{"XdndDirectSave0"});
}

} // namespace
