#include "DestinationRow.h"

#include "TextLayer.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvo {

namespace {

constexpr double titleFontSize = 11.5;
constexpr double titleLeft = 34;
constexpr double chromeWidth = 44;
constexpr double hitMarginX = 8;
constexpr double hitMarginY = 10;
constexpr double catchMarginX = 8;
constexpr double catchMarginY = 22;
constexpr Color restBackground = Color::white(1, 0.11);
constexpr Color highlightBackground = Color::white(1, 0.28);

Rect grown(const Rect& r, double dx, double dy) {
    return {r.x - dx, r.y - dy, r.width + 2 * dx, r.height + 2 * dy};
}

} // namespace

double DestinationRow::titleWidth(const QString& title) {
    const QFontMetricsF metrics(TextLayer::font(titleFontSize, FontWeight::semibold));
    return std::min(std::ceil(metrics.horizontalAdvance(title)), maxTitleWidth);
}

Size DestinationRow::apply(std::vector<DestinationChipModel> models, double scale) {
    m_models = std::move(models);
    for (const std::shared_ptr<Layer>& chip : m_chips)
        chip->removeFromSuperlayer();
    m_chips.clear();
    m_frames.clear();
    m_highlightedID.reset();

    double x = 0;
    for (const DestinationChipModel& model : m_models) {
        const double t = titleWidth(model.title);
        const double w = t + chromeWidth;
        const Rect frame{x, 0, w, chipHeight};

        auto capsule = Layer::make();
        capsule->name = "chip";
        capsule->setFrame(frame);
        capsule->setBackgroundColor(restBackground);
        capsule->setCornerRadius(chipHeight / 2);

        auto icon = Layer::make();
        icon->name = "chip-icon";
        icon->setFrame({10, 5, 18, 18});
        if (!model.icon.isNull()) {
            // Layers count an image's pixels per point themselves.
            QImage pixels = model.icon;
            pixels.setDevicePixelRatio(1);
            icon->setContents(pixels, model.icon.devicePixelRatio());
        }
        icon->setContentsGravity(ContentsGravity::resizeAspect);
        capsule->addSublayer(icon);

        auto title = TextLayer::make();
        title->name = "chip-title";
        title->setFrame({titleLeft, 6, t, 15});
        title->setString(model.title);
        title->setFont(titleFontSize, FontWeight::semibold);
        title->setForegroundColor(Color::white(1, 0.92));
        title->setTruncation(Truncation::middle);
        title->setContentsScale(scale);
        capsule->addSublayer(title);

        addSublayer(capsule);
        m_chips.push_back(capsule);
        m_frames.push_back(frame);
        x += w + chipGap;
    }
    const double width = std::max(0.0, x - chipGap);
    setBounds({0, 0, width, chipHeight});
    return {width, chipHeight};
}

std::optional<QUuid> DestinationRow::chipID(Point point) const {
    for (std::size_t i = 0; i < m_frames.size(); ++i) {
        if (grown(m_frames[i], hitMarginX, hitMarginY).contains(point))
            return m_models[i].id;
    }
    return std::nullopt;
}

std::optional<QUuid> DestinationRow::nearestChipID(Point point) const {
    if (m_frames.empty() || !grown(bounds(), catchMarginX, catchMarginY).contains(point))
        return std::nullopt;
    std::optional<QUuid> best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < m_frames.size(); ++i) {
        const double centre = m_frames[i].x + m_frames[i].width / 2;
        const double distance = std::abs(point.x - centre);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = m_models[i].id;
        }
    }
    return best;
}

void DestinationRow::setHighlighted(const std::optional<QUuid>& id) {
    if (id == m_highlightedID)
        return;
    m_highlightedID = id;
    for (std::size_t i = 0; i < m_chips.size(); ++i) {
        const bool on = id && m_models[i].id == *id;
        m_chips[i]->setTransform(on ? Transform::scale(highlightScale) : Transform());
        m_chips[i]->setBackgroundColor(on ? highlightBackground : restBackground);
    }
}

} // namespace tarvo
