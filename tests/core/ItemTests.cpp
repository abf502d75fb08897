#include "TarvoCore/Item.h"

#include <gtest/gtest.h>

using namespace tarvo;
using json::DecodingError;

namespace {

const QUuid fixedId = QUuid::fromString(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));

Item makeItem(ItemPayload payload, ItemState state = ItemState::ready()) {
    Item item;
    item.id = fixedId;
    item.payload = std::move(payload);
    item.state = std::move(state);
    item.displayName = "Thing";
    item.addedAt = Date::fromSecondsSince1970(1700000000);
    item.contentHash = "ff";
    return item;
}

} // namespace

TEST(ItemModel, SourceTypeFromPayloadAndName) {
    struct Case {
        const char* name;
        ItemPayload payload;
        SourceType expected;
    };
    const std::vector<Case> cases = {
        {"image HEIF in capitals", ItemPayload::image("IMG.HEIF"), SourceType::heic},
        {"image png", ItemPayload::image("shot.png"), SourceType::images},
        {"image without extension", ItemPayload::image("shot"), SourceType::images},
        {"file PDF in capitals", ItemPayload::file("Report.PDF"), SourceType::pdf},
        {"folder without extension", ItemPayload::file("Projects"), SourceType::anyFile},
        {"file heif", ItemPayload::file("x.heif"), SourceType::heic},
        {"file jpeg", ItemPayload::file("x.jpeg"), SourceType::images},
        {"plain text file", ItemPayload::file("notes.txt"), SourceType::anyFile},
        {"unknown extension", ItemPayload::file("x.qqqzzz"), SourceType::anyFile},
        {"extension is whole-string", ItemPayload::file("x.pdfx"), SourceType::anyFile},
        {"text", ItemPayload::text("hi"), SourceType::text},
        {"rich text", ItemPayload::richText("a.rtf", "a"), SourceType::richText},
        {"url", ItemPayload::url(QUrl("https://example.com")), SourceType::url},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(makeItem(c.payload).sourceType("/nowhere"), c.expected);
    }
}

TEST(ItemModel, PayloadAccessorsAndLocation) {
    const Item rich = makeItem(ItemPayload::richText("doc.rtf", "plain"));
    EXPECT_EQ(rich.payloadURL("/store"), "/store/6F9619FF-8B86-D011-B42D-00C04FC964FF/doc.rtf");
    EXPECT_EQ(rich.payloadURL("/store/"), rich.payloadURL("/store"));
    EXPECT_EQ(makeItem(ItemPayload::text("x")).payloadURL("/store"), std::nullopt);
    EXPECT_EQ(makeItem(ItemPayload::url(QUrl("https://a.b"))).payloadURL("/store"), std::nullopt);

    EXPECT_TRUE(ItemPayload::file("a").isFileBacked());
    EXPECT_TRUE(ItemPayload::richText("a", "b").isFileBacked());
    EXPECT_FALSE(ItemPayload::text("a").isFileBacked());
    EXPECT_TRUE(ItemPayload::image("a.png").isImage());
    EXPECT_FALSE(ItemPayload::file("a.png").isImage());
    EXPECT_EQ(ItemPayload::richText("r.rtf", "p").fileName(), "r.rtf");
}

TEST(ItemJson, GoldenBytesForEveryPayloadAndState) {
    const QByteArray head =
        R"({"addedAt":1700000000,"contentHash":"ff","displayName":"Thing","id":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)";
    struct Case {
        const char* name;
        Item item;
        QByteArray tail;
    };
    const std::vector<Case> cases = {
        {"file ready", makeItem(ItemPayload::file("a.txt")),
         R"("payload":{"file":{"name":"a.txt"}},"pinned":false,"state":{"ready":{}}})"},
        {"image receiving without progress",
         makeItem(ItemPayload::image("p.png"), ItemState::receiving()),
         R"("payload":{"image":{"name":"p.png"}},"pinned":false,"state":{"receiving":{}}})"},
        {"text receiving with progress",
         makeItem(ItemPayload::text("hello"), ItemState::receiving(0.5)),
         R"("payload":{"text":{"_0":"hello"}},"pinned":false,"state":{"receiving":{"progress":0.5}}})"},
        {"rich text failed",
         makeItem(ItemPayload::richText("r.rtf", "plain"), ItemState::failed("gone")),
         R"("payload":{"richText":{"plain":"plain","rtfName":"r.rtf"}},"pinned":false,"state":{"failed":{"reason":"gone"}}})"},
        {"url without title", makeItem(ItemPayload::url(QUrl("https://example.com/a"))),
         R"("payload":{"url":{"_0":"https:\/\/example.com\/a"}},"pinned":false,"state":{"ready":{}}})"},
        {"url with title", makeItem(ItemPayload::url(QUrl("https://example.com/"), "Example")),
         R"("payload":{"url":{"_0":"https:\/\/example.com\/","title":"Example"}},"pinned":false,"state":{"ready":{}}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(json::write(c.item.toJson()), head + c.tail);
        EXPECT_EQ(Item::fromJson(json::parse(json::write(c.item.toJson()))), c.item);
    }
}

TEST(ItemJson, SourceFieldsEscapedSlashAndFractionalDate) {
    Item item = makeItem(ItemPayload::file("a.txt"));
    item.sourceURL = QUrl("https://example.com/a/b?q=1");
    item.sourceBundleID = "org.mozilla.firefox";
    item.addedAt = Date::fromSecondsSince1970(1700000000.125);
    item.pinned = true;
    const QByteArray expected =
        R"({"addedAt":1700000000.125,"contentHash":"ff","displayName":"Thing","id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","payload":{"file":{"name":"a.txt"}},"pinned":true,"sourceBundleID":"org.mozilla.firefox","sourceURL":"https:\/\/example.com\/a\/b?q=1","state":{"ready":{}}})";
    EXPECT_EQ(json::write(item.toJson()), expected);
    EXPECT_EQ(Item::fromJson(json::parse(expected)), item);
}

TEST(ItemJson, DecodingFailures) {
    const QJsonObject good = makeItem(ItemPayload::file("a.txt")).toJson();
    auto with = [&](const char* key, QJsonValue value) {
        QJsonObject o = good;
        if (value.isUndefined())
            o.remove(key);
        else
            o.insert(key, value);
        return o;
    };
    auto payload = [&](const char* json) { return with("payload", json::parse(json)); };
    struct Case {
        const char* name;
        QJsonObject object;
        const char* description;
    };
    const std::vector<Case> cases = {
        {"no pinned", with("pinned", QJsonValue::Undefined),
         "No value associated with key \"pinned\"."},
        {"state ready and failed",
         with("state", json::parse(R"({"ready":{},"failed":{"reason":"x"}})")),
         "Invalid number of keys found, expected one."},
        {"unknown payload case", payload(R"({"video":{"name":"a"}})"),
         "Invalid number of keys found, expected one."},
        {"failed without reason", with("state", json::parse(R"({"failed":{}})")),
         "No value associated with key \"reason\"."},
        {"id not a uuid", with("id", "item-1"),
         "Attempted to decode UUID from invalid UUID string."},
        {"addedAt as text", with("addedAt", "yesterday"),
         "Expected to decode Double but found a string instead."},
        {"empty file name", payload(R"({"file":{"name":""}})"),
         "The stored file name \"\" is not a name inside the item's folder."},
        {"dot dot", payload(R"({"image":{"name":".."}})"),
         "The stored file name \"..\" is not a name inside the item's folder."},
        {"dot", payload(R"({"file":{"name":"."}})"),
         "The stored file name \".\" is not a name inside the item's folder."},
        {"slash in rtf name", payload(R"({"richText":{"rtfName":"..\/x.rtf","plain":""}})"),
         "The stored file name \"../x.rtf\" is not a name inside the item's folder."},
        {"empty url", payload(R"({"url":{"_0":""}})"), "Invalid URL string."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Item::fromJson(c.object);
            ADD_FAILURE() << "decoded";
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.description(), QString::fromUtf8(c.description));
        }
    }
}

TEST(ItemJson, UnknownMembersAndLowerCaseIdAreAccepted) {
    QJsonObject o = makeItem(ItemPayload::file("a.txt")).toJson();
    o.insert("thumbnail", "x");
    o.insert("id", "6f9619ff-8b86-d011-b42d-00c04fc964ff");
    QJsonObject payload = o.value("payload").toObject();
    payload.insert("extra", QJsonObject());
    o.insert("payload", payload);
    EXPECT_EQ(Item::fromJson(o), makeItem(ItemPayload::file("a.txt")));
}
