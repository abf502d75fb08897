#include "IslandPictures.h"

#include "GradientLayer.h"
#include "TextLayer.h"

#include <QPainter>

namespace tarvo::test {

namespace {

QImage picture(int index) {
    QImage image(112, 112, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 112, 112);
    sky.setColorAt(0, QColor::fromHsv((index * 47) % 360, 140, 240));
    sky.setColorAt(1, QColor::fromHsv((index * 47 + 60) % 360, 200, 150));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(40, 40), 16, 16);
    return image;
}

} // namespace

std::shared_ptr<Layer> makeTile(int index) {
    auto tile = Layer::make();
    tile->name = "tile";
    auto well = Layer::make();
    well->setBackgroundColor(Color::white(1, 0.07));
    well->setCornerRadius(14);
    well->setFrame({0, 0, 56, 56});
    tile->addSublayer(well);
    auto thumbnail = Layer::make();
    thumbnail->setFrame({0, 0, 56, 56});
    thumbnail->setCornerRadius(14);
    thumbnail->setShadow(Color::rgb(0, 0, 0), 0.4, 2, {0, -1});
    QPainterPath rounded;
    rounded.addRoundedRect(0, 0, 56, 56, 14, 14);
    thumbnail->setShadowPath(rounded);
    auto content = Layer::make();
    content->setFrame({0, 0, 56, 56});
    content->setCornerRadius(14);
    content->setMasksToBounds(true);
    content->setContents(picture(index), 2);
    content->setContentsGravity(ContentsGravity::resizeAspectFill);
    thumbnail->addSublayer(content);
    tile->addSublayer(thumbnail);
    auto name = TextLayer::make();
    name->setFrame({-6, -14, 68, 12});
    name->setFont(10, FontWeight::medium);
    name->setAlignment(TextAlignment::center);
    name->setTruncation(Truncation::end);
    name->setForegroundColor(Color::white(1, 0.85));
    name->setString(QStringLiteral("Photo %1 of the long weekend").arg(index + 1));
    tile->addSublayer(name);
    auto badge = Layer::make();
    badge->setFrame({4, 40, 22, 12});
    badge->setBackgroundColor(Color::white(0, 0.62));
    badge->setCornerRadius(3);
    auto badgeText = TextLayer::make();
    badgeText->setFrame({0, 1.5, 22, 9});
    badgeText->setFont(7, FontWeight::bold);
    badgeText->setAlignment(TextAlignment::center);
    badgeText->setString(QStringLiteral("PNG"));
    badge->addSublayer(badgeText);
    tile->addSublayer(badge);
    return tile;
}

IslandPicture::IslandPicture(AnimationClock& clock) : animator(clock), scene(animator, display) {}

void IslandPicture::show(TarvoState state, int items, bool notched, bool chips) {
    std::vector<QUuid> ids;
    for (int i = 0; i < items; ++i) {
        const QUuid id(static_cast<uint>(i + 1), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
        ids.push_back(id);
        if (!scene.itemLayers().count(id))
            scene.setItemLayer(id, makeTile(i));
    }
    scene.setItems(ids);
    const double rowWidth = chips ? 3 * 96 + 2 * 8 : 0;
    if (chips && scene.destinationRow->sublayers().empty()) {
        for (int i = 0; i < 3; ++i) {
            auto chip = Layer::make();
            chip->setFrame({i * 104.0, 0, 96, 28});
            chip->setBackgroundColor(Color::white(1, 0.12));
            chip->setCornerRadius(14);
            auto label = TextLayer::make();
            label->setFrame({0, 7, 96, 16});
            label->setFont(11.5, FontWeight::semibold);
            label->setAlignment(TextAlignment::center);
            label->setString(i == 0   ? QStringLiteral("Downloads")
                             : i == 1 ? QStringLiteral("Desktop")
                                      : QStringLiteral("Mail"));
            chip->addSublayer(label);
            scene.destinationRow->addSublayer(chip);
        }
    }
    scene.setDestinationRow(chips, {rowWidth, 28});
    // The island width as the controller chooses it, on a 1512-point screen
    // whose notch is 202 points wide (or on one without a notch).
    double width = 0;
    switch (state) {
    case TarvoState::tab:
        width = notched ? 202 : 120;
        break;
    case TarvoState::dragging:
        width = std::max({notched ? 258.0 : 200.0, IslandLayout::requiredWidth(items),
                          scene.destinationRequiredWidth(), 360.0});
        break;
    case TarvoState::hidden:
    case TarvoState::resting:
        width = std::max(IslandLayout::requiredWidth(items), notched ? 202.0 : 120.0);
        break;
    }
    scene.setIslandWidth(width);
    scene.setShowsEmptyHint(items == 0);
    scene.setPointerOverIsland(state == TarvoState::resting && items > 0);
    // The panel: the dragging frame for the island width plus 20.
    scene.setViewSize({std::max(width + 20, 360.0), notched ? 164.0 : 132.0});
    scene.setStripState(state, false, Motion::extend());
    scene.setCatchHighlight(state == TarvoState::dragging);
    animator.clock().stop();
}

} // namespace tarvo::test
