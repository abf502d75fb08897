#include "TarvoCore/L10n.h"
#include "BatchConfirmWindow.h"

#include "support/EventLoopWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <optional>

using namespace tarvo;
using Choice = BatchConfirmation::Choice;

namespace {

Delivery imageDelivery(std::optional<qint64> maxPixels) {
    ImageOptions options;
    options.maxPixels = maxPixels;
    return Delivery::image(options);
}

} // namespace

TEST(BatchConfirmation, WhenConfirmationIsNeeded) {
    struct Case {
        const char* name;
        int count;
        Delivery delivery;
        std::optional<QString> rename;
        bool enabled;
        bool needed;
    };
    const QString rename = QStringLiteral("{name}-{n}");
    const std::vector<Case> cases{
        {"two images with a pixel limit", 2, imageDelivery(1600), std::nullopt, true, true},
        {"two images without a limit", 2, imageDelivery(std::nullopt), std::nullopt, true, false},
        {"one image with a limit", 1, imageDelivery(1600), std::nullopt, true, false},
        {"one item renamed", 1, Delivery::original(), rename, true, false},
        {"confirmations off", 5, imageDelivery(1600), rename, false, false},
        {"renamed originals", 2, Delivery::original(), rename, true, true},
        {"renamed paths", 3, Delivery::path(), rename, true, true},
        {"originals", 3, Delivery::original(), std::nullopt, true, false},
        {"paths", 3, Delivery::path(), std::nullopt, true, false},
        {"plain text", 3, Delivery::plainText(), std::nullopt, true, false},
        {"link files", 3, Delivery::webloc(), std::nullopt, true, false},
        {"PDF", 3, Delivery::pdf(), std::nullopt, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BatchConfirmation::isNeeded(c.count, c.delivery, c.rename, c.enabled), c.needed)
            << c.name;
}

TEST(BatchConfirmation, TimeoutDecidesForDeliver) {
    const Date shown = Date::fromSecondsSince1970(1000);
    EXPECT_EQ(BatchConfirmation::choice(shown, Date::fromSecondsSince1970(1003.9)), std::nullopt);
    EXPECT_EQ(BatchConfirmation::choice(shown, Date::fromSecondsSince1970(1004)), Choice::deliver);
    EXPECT_EQ(BatchConfirmation::choice(shown, Date::fromSecondsSince1970(1100)), Choice::deliver);
}

TEST(BatchConfirmation, MessageNamesCountFormatAndSize) {
    EXPECT_EQ((BatchConfirmation{3, QStringLiteral("JPEG"), 1600}).message(),
              L10n::batchConfirm(3, QStringLiteral("JPEG"), 1600));
    EXPECT_EQ((BatchConfirmation{3, QStringLiteral("PNG"), std::nullopt}).message(),
              L10n::batchConfirm(3, QStringLiteral("PNG"), std::nullopt));
    EXPECT_NE(L10n::batchConfirm(3, QStringLiteral("PNG"), std::nullopt),
              L10n::batchConfirm(3, QStringLiteral("PNG"), 1600));
}

TEST(BatchConfirmWindow, LaysOutTheQuestionUnderTheRectangle) {
    BatchConfirmWindow window;
    const BatchConfirmation question{4, QStringLiteral("JPEG"), 2048};
    window.present(question, QRect(400, 0, 200, 40), [](Choice) {});
    EXPECT_EQ(window.label()->text(), question.message());
    EXPECT_EQ(window.height(), 36);
    EXPECT_EQ(window.width(), 16 + window.label()->width() + 12 +
                                  window.originalsButton()->width() + 8 +
                                  window.deliverButton()->width() + 16);
    EXPECT_EQ(window.originalsButton()->x(), 16 + window.label()->width() + 12);
    EXPECT_EQ(window.deliverButton()->x(),
              window.originalsButton()->x() + window.originalsButton()->width() + 8);
    EXPECT_EQ(window.geometry().center().x(), 499) << "centred under the rectangle";
    EXPECT_EQ(window.y(), 48) << "8 below its bottom edge";
    EXPECT_TRUE(window.deliverButton()->isDefault());
    EXPECT_EQ(window.deliverButton()->text(), L10n::batchDeliver());
    EXPECT_EQ(window.originalsButton()->text(), L10n::batchOriginals());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isCountingDown());
}

TEST(BatchConfirmWindow, AButtonBeforeTheTimeoutWinsAlone) {
    BatchConfirmWindow window({}, std::chrono::milliseconds(100));
    std::vector<Choice> choices;
    window.present({2, QStringLiteral("PNG"), 800}, QRect(0, 0, 100, 30),
                   [&](Choice c) { choices.push_back(c); });
    window.originalsButton()->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.isCountingDown());
    // Well past the shortened timeout: nothing more arrives.
    QDeadlineTimer past(500);
    while (!past.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(choices, std::vector<Choice>{Choice::originals});
}

TEST(BatchConfirmWindow, TheTimeoutDeliversAndTheBarRunsDown) {
    BatchConfirmWindow window({}, std::chrono::milliseconds(300));
    std::vector<Choice> choices;
    window.present({2, QStringLiteral("PNG"), 800}, QRect(0, 0, 100, 30),
                   [&](Choice c) { choices.push_back(c); });
    EXPECT_EQ(window.countdownOpacity(), 1.0);
    ASSERT_TRUE(test::runEventsUntil([&] { return !choices.empty(); }));
    EXPECT_EQ(choices, std::vector<Choice>{Choice::deliver});
    EXPECT_LT(window.countdownFraction(), 1.0);
    EXPECT_FALSE(window.isVisible());
}

TEST(BatchConfirmWindow, ReducedMotionHoldsTheBarStillAndDim) {
    BatchConfirmWindow window([] { return true; }, std::chrono::milliseconds(200));
    bool answered = false;
    window.present({2, QStringLiteral("PNG"), 800}, QRect(0, 0, 100, 30),
                   [&](Choice) { answered = true; });
    EXPECT_EQ(window.countdownOpacity(), 0.5);
    ASSERT_TRUE(test::runEventsUntil([&] { return answered; }));
    EXPECT_EQ(window.countdownFraction(), 1.0);
}
