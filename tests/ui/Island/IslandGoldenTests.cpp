#include "Golden.h"
#include "IslandPictures.h"

#include "LayerPainter.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

struct Picture {
    const char* name;
    TarvoState state;
    int items;
    bool notched;
    bool chips;
};

// Every state of the island, on a screen with a notch and on one without.
const Picture pictures[] = {
    {"island-hidden", TarvoState::hidden, 3, false, false},
    {"island-resting", TarvoState::resting, 3, false, false},
    {"island-resting-empty", TarvoState::resting, 0, false, false},
    {"island-resting-notched", TarvoState::resting, 2, true, false},
    {"island-dragging-chips", TarvoState::dragging, 2, false, true},
    {"island-dragging-scrolls", TarvoState::dragging, 12, false, false},
    {"island-tab", TarvoState::tab, 3, false, false},
    {"island-tab-notched", TarvoState::tab, 3, true, false},
};

} // namespace

TEST(IslandGolden, EveryStateAtBothRatios) {
    for (const Picture& p : pictures) {
        for (int ratio : {1, 2}) {
            SteppedAnimationClock clock;
            test::IslandPicture island(clock);
            island.show(p.state, p.items, p.notched, p.chips);
            LayerPainter painter;
            const Size size{island.scene.root()->bounds().width,
                            island.scene.root()->bounds().height};
            const QImage image = painter.render(*island.scene.root(), size, ratio);
            const QString name = QStringLiteral("%1@%2x.png").arg(QLatin1String(p.name)).arg(ratio);
            const QString mismatch = test::compareWithGolden(image, name);
            EXPECT_TRUE(mismatch.isEmpty()) << mismatch.toStdString();
        }
    }
}

TEST(IslandGolden, ThePlainScreensTabIsVisibleWhereTheNotchedOnesIs) {
    // The same tab, hanging 32 points from the top of views of both heights.
    SteppedAnimationClock clock;
    test::IslandPicture plain(clock);
    plain.show(TarvoState::tab, 3, false);
    test::IslandPicture notched(clock);
    notched.show(TarvoState::tab, 3, true);
    EXPECT_EQ(plain.scene.islandRect().height, 32);
    EXPECT_EQ(notched.scene.islandRect().height, 32);
    LayerPainter painter;
    const Rect island = plain.scene.islandRect();
    const QImage image =
        painter.render(*plain.scene.root(), {plain.scene.root()->bounds().width, 132}, 1);
    // Dark body at the tab's middle, the glow near its lower edge.
    const QColor body = image.pixelColor(static_cast<int>(island.midX()), 132 - 110 - 1);
    EXPECT_EQ(body.alpha(), 255);
    EXPECT_LT(body.lightness(), 30);
    const QColor glow = image.pixelColor(static_cast<int>(island.midX()), 132 - 106 - 1);
    EXPECT_GT(glow.lightness(), 90);
}
