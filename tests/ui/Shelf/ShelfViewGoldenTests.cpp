// Pictures of the shelf view as a user sees it: the tab with its glow bright
// and dimmed, and the resting island with a hovered item and its caption,
// plain and with Increase Contrast.
#include "Golden.h"

#include "AnimationClock.h"
#include "IslandScene.h"
#include "ItemLayer.h"
#include "LayerPainter.h"
#include "TarvoView.h"

#include "TarvoPlatform/memory/MemoryDisplayOptions.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

QImage picture(int hue) {
    QImage image(112, 112, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 112, 112);
    sky.setColorAt(0, QColor::fromHsv(hue, 140, 240));
    sky.setColorAt(1, QColor::fromHsv((hue + 60) % 360, 200, 150));
    p.fillRect(image.rect(), sky);
    return image;
}

std::vector<Item> shelfItems() {
    std::vector<Item> items(3);
    items[0].payload = ItemPayload::image(QStringLiteral("harbour.png"));
    items[0].displayName = QStringLiteral("harbour.png");
    items[1].payload = ItemPayload::text(QStringLiteral("Agenda"));
    items[1].displayName = QStringLiteral("Agenda for Tuesday");
    items[1].pinned = true;
    items[2].payload = ItemPayload::file(QStringLiteral("report.pdf"));
    items[2].displayName = QStringLiteral("report.pdf");
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].id = QUuid(static_cast<uint>(i + 1), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
        items[i].state = ItemState::ready();
    }
    return items;
}

// A view on a screen without a notch, as the shelf's panel sizes it.
struct Shelf {
    SteppedAnimationClock clock;
    MemoryDisplayOptions display;
    TarvoView view{&clock, &display};

    Shelf(TarvoState state, bool contrast, bool dimmed) {
        view.resize(state == TarvoState::tab ? 200 : 320, 132);
        view.setIncreaseContrast(contrast);
        view.setIslandWidth(state == TarvoState::tab ? 120 : 240);
        const std::vector<Item> items = shelfItems();
        view.update(items, {}, state, {});
        for (std::size_t i = 0; i < items.size(); ++i)
            view.setThumbnail(picture(int(i) * 70 + 20), items[i].id);
        view.setTabGlowDimmed(dimmed);
        if (state == TarvoState::resting) {
            // The pointer over the second tile: it grows, the caption names
            // it and the close button shows.
            const Rect strip = view.itemsRoot().frame();
            const Rect tile = view.itemLayers().at(items[1].id)->frame();
            const QPointF at = view.toQt({strip.x + tile.midX(), strip.y + tile.midY()});
            QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&view, &move);
        }
        clock.advance(1.0, 0.1);
    }

    QImage render(int ratio) {
        LayerPainter painter;
        return painter.render(*view.rootLayer(), {double(view.width()), double(view.height())},
                              ratio);
    }
};

struct Picture {
    const char* name;
    TarvoState state;
    bool contrast;
    bool dimmed;
};

const Picture pictures[] = {
    {"view-tab", TarvoState::tab, false, false},
    {"view-tab-dimmed", TarvoState::tab, false, true},
    {"view-tab-contrast", TarvoState::tab, true, false},
    {"view-resting-hover", TarvoState::resting, false, false},
    {"view-resting-contrast", TarvoState::resting, true, false},
};

TEST(ShelfViewGolden, TheTabAndTheRestingIslandAtBothRatios) {
    for (const Picture& p : pictures) {
        Shelf shelf(p.state, p.contrast, p.dimmed);
        for (int ratio : {1, 2}) {
            const QString name = QStringLiteral("%1@%2x.png").arg(QLatin1String(p.name)).arg(ratio);
            const QString mismatch = compareWithGolden(shelf.render(ratio), name);
            EXPECT_TRUE(mismatch.isEmpty()) << mismatch.toStdString();
        }
    }
}

TEST(ShelfViewGolden, DimmingAndContrastChangeWhatIsDrawn) {
    auto glowLightness = [](Shelf& shelf) {
        const Rect glow = shelf.view.scene().tabGlow->frame();
        const QImage image = shelf.render(1);
        return image.pixelColor(shelf.view.toQt({glow.midX(), glow.midY()}).toPoint()).lightness();
    };
    Shelf bright(TarvoState::tab, false, false);
    Shelf dimmed(TarvoState::tab, false, true);
    Shelf strong(TarvoState::tab, true, false);
    EXPECT_LT(glowLightness(dimmed) + 40, glowLightness(bright));
    EXPECT_GT(glowLightness(strong), glowLightness(bright) + 20);

    // With more contrast the island's edge is lit where the plain one is
    // dark, and the names are whiter.
    Shelf plain(TarvoState::resting, false, false);
    Shelf contrast(TarvoState::resting, true, false);
    const Rect island = plain.view.islandRect();
    const QPoint edge = plain.view.toQt({island.maxX() - 0.5, island.midY()}).toPoint();
    EXPECT_GT(contrast.render(1).pixelColor(edge).lightness(),
              plain.render(1).pixelColor(edge).lightness() + 40);
}

} // namespace
} // namespace tarvo::test
