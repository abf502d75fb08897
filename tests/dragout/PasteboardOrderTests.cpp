#include "TarvoDrag/PasteboardOrder.h"
#include "TarvoPlatform/DragPasteboard.h"
#include "TarvoPlatform/TypeMapping.h"
#include "support/PasteboardTypes.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using namespace tarvo::test::types;

TEST(PasteboardOrderTest, OrdersPerDelivery) {
    struct Case {
        const char* name;
        Delivery delivery;
        std::optional<QString> promiseType;
        QStringList expected;
    };
    const ImageOptions jpegOptions{ImageFormat::jpeg, 2000, 0.85, true};
    const ImageOptions pngOptions{ImageFormat::png, std::nullopt, 1.0, false};
    const QStringList converting{promise, fileURL, png, jpeg, tiff, string, url};
    const std::vector<Case> cases{
        {"original without promise",
         Delivery::original(),
         std::nullopt,
         {fileURL, png, jpeg, tiff, rtf, string, url}},
        {"original with promise",
         Delivery::original(),
         promise,
         {fileURL, promise, png, jpeg, tiff, rtf, string, url}},
        {"path without promise", Delivery::path(), std::nullopt, {string, fileURL, png, jpeg, url}},
        {"path with promise",
         Delivery::path(),
         promise,
         {string, promise, fileURL, png, jpeg, url}},
        {"plain text with promise",
         Delivery::plainText(),
         promise,
         {string, promise, fileURL, png, jpeg, url}},
        {"jpeg image", Delivery::image(jpegOptions), promise, converting},
        {"png image", Delivery::image(pngOptions), promise, converting},
        {"webloc", Delivery::webloc(), promise, converting},
        {"pdf", Delivery::pdf(), promise, converting},
        {"pdf without promise starts with the file",
         Delivery::pdf(),
         std::nullopt,
         {fileURL, png, jpeg, tiff, string, url}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PasteboardOrder::types(c.delivery, c.promiseType), c.expected);
    }
}

TEST(PasteboardOrderTest, DefaultOrderIsTheOriginalOrder) {
    for (const std::optional<QString>& promiseType :
         {std::optional<QString>(), std::optional(promise)}) {
        EXPECT_EQ(PasteboardOrder::defaultOrder(promiseType),
                  PasteboardOrder::types(Delivery::original(), promiseType));
    }
    EXPECT_EQ(PasteboardOrder::defaultOrder(std::nullopt).size(), 7);
    EXPECT_EQ(PasteboardOrder::defaultOrder(promise).at(1), promise);
}

TEST(PasteboardOrderTest, JPEGTypeIsMadeOnce) {
    EXPECT_EQ(PasteboardOrder::jpegType(), jpeg);
    EXPECT_EQ(&PasteboardOrder::jpegType(), &PasteboardOrder::jpegType());
}

TEST(PasteboardOrderTest, StrategyRawValues) {
    EXPECT_EQ(pasteboardOrderStrategyFromRawValue("fixed"), PasteboardOrderStrategy::fixed);
    EXPECT_EQ(pasteboardOrderStrategyFromRawValue("rewrite"), PasteboardOrderStrategy::rewrite);
    EXPECT_EQ(pasteboardOrderStrategyFromRawValue("Fixed"), std::nullopt);
    EXPECT_EQ(pasteboardOrderStrategyFromRawValue(""), std::nullopt);
    EXPECT_EQ(rawValue(PasteboardOrderStrategy::fixed), "fixed");
}

class NoData final : public PasteboardItemDataProvider {
public:
    void provideData(PasteboardItem&, const QString&, DataRequestPhase,
                     std::function<void()> done) override {
        done();
    }
};

class RewriteTest : public ::testing::Test {
protected:
    RewriteTest() {
        m_pasteboard.writeObjects({item({url})});
        m_before = m_pasteboard.changeCount();
    }

    std::shared_ptr<PasteboardItem> item(const QStringList& types) {
        auto item = std::make_shared<PasteboardItem>();
        item->setDataProvider(&m_provider, types);
        return item;
    }
    std::shared_ptr<FilePromiseProvider> promiseProvider() {
        return std::make_shared<FilePromiseProvider>(png, nullptr);
    }
    bool untouched() const {
        return m_pasteboard.changeCount() == m_before && m_pasteboard.types() == QStringList{url};
    }

    NoData m_provider;
    DragPasteboard m_pasteboard;
    qint64 m_before = 0;
};

TEST_F(RewriteTest, RefusesWithoutTouchingThePasteboard) {
    EXPECT_FALSE(PasteboardOrder::rewrite(m_pasteboard, {}));
    EXPECT_TRUE(untouched());
    EXPECT_FALSE(PasteboardOrder::rewrite(m_pasteboard, {promiseProvider(), item({string})}));
    EXPECT_TRUE(untouched());
}

TEST_F(RewriteTest, ComparesOnlyTheFirstTypes) {
    struct Case {
        const char* name;
        QStringList declared;
        DragPasteboard::TypeFilter filter;
        bool refuses;
        bool expected;
    };
    const auto reverse = [](const QStringList& types) {
        return QStringList(types.rbegin(), types.rend());
    };
    const auto keepFirstSwapRest = [](const QStringList& types) {
        QStringList result = types;
        if (result.size() > 2)
            result.swapItemsAt(1, 2);
        return result;
    };
    const std::vector<Case> cases{
        {"taken as written", {string, promise, fileURL}, nullptr, false, true},
        {"later types in another order", {string, fileURL, png}, keepFirstSwapRest, false, true},
        {"first type moved", {string, fileURL, png}, reverse, false, false},
        {"write refused", {string, fileURL}, nullptr, true, false},
        {"first item declares no types", {}, nullptr, false, false},
        {"pasteboard drops every type",
         {string},
         [](const QStringList&) { return QStringList(); },
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DragPasteboard pasteboard;
        pasteboard.setTypeFilter(c.filter);
        pasteboard.setRefusesWrites(c.refuses);
        EXPECT_EQ(PasteboardOrder::rewrite(pasteboard, {item(c.declared), promiseProvider()}),
                  c.expected);
    }
}

TEST_F(RewriteTest, RefusedWriteLeavesThePasteboardCleared) {
    m_pasteboard.setRefusesWrites(true);
    EXPECT_FALSE(PasteboardOrder::rewrite(m_pasteboard, {item({string})}));
    EXPECT_EQ(m_pasteboard.types(), std::nullopt);
    EXPECT_GT(m_pasteboard.changeCount(), m_before);
}

TEST_F(RewriteTest, ItemsComeBeforePromisesOnThePasteboard) {
    EXPECT_TRUE(PasteboardOrder::rewrite(
        m_pasteboard, {item({fileURL, png}), item({fileURL, png}), promiseProvider()}));
    EXPECT_EQ(m_pasteboard.types(), (QStringList{fileURL, png, promise}));
    EXPECT_EQ(m_pasteboard.items().size(), 2u);
    EXPECT_EQ(m_pasteboard.promises().size(), 1u);
}

} // namespace
} // namespace tarvo
