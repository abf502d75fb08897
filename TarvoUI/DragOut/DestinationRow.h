#pragma once

#include "Layer.h"

#include <QImage>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

namespace tarvo {

// One destination chip: a recent folder or a pinned application.
struct DestinationChipModel {
    QUuid id;
    QString title;
    // Null: the chip draws no icon.
    QImage icon;

    bool operator==(const DestinationChipModel& other) const {
        return id == other.id && title == other.title && icon == other.icon;
    }
};

// The row of destination chips under the island while something is dragged:
// lays the capsules out from their models, finds the chip under a point (with
// a forgiving catch area) and highlights one. Points are in the row's own
// space, y upwards. Main thread only.
class DestinationRow final : public Layer {
public:
    static constexpr double chipHeight = 28;
    static constexpr double chipGap = 8;
    static constexpr double maxTitleWidth = 96;
    static constexpr double highlightScale = 1.08;

    static std::shared_ptr<DestinationRow> make() {
        return std::shared_ptr<DestinationRow>(new DestinationRow());
    }

    const std::vector<DestinationChipModel>& models() const { return m_models; }
    const std::optional<QUuid>& highlightedID() const { return m_highlightedID; }
    // Each capsule's frame in the row's space, in the models' order.
    const std::vector<Rect>& chipFrames() const { return m_frames; }
    const std::vector<std::shared_ptr<Layer>>& chips() const { return m_chips; }

    // Rebuilds the chips for `models`, drawn at `scale` device pixels per
    // point; returns the row's size.
    Size apply(std::vector<DestinationChipModel> models, double scale);
    // The chip whose hit area (its frame grown 8 points sideways and 10 up
    // and down) holds the point; the left one where two overlap.
    std::optional<QUuid> chipID(Point point) const;
    // Within the row's catch area, the chip horizontally nearest the point.
    std::optional<QUuid> nearestChipID(Point point) const;
    void setHighlighted(const std::optional<QUuid>& id);

    // The width a title takes, at most `maxTitleWidth`.
    static double titleWidth(const QString& title);

private:
    DestinationRow() = default;

    std::vector<DestinationChipModel> m_models;
    std::vector<std::shared_ptr<Layer>> m_chips;
    std::vector<Rect> m_frames;
    std::optional<QUuid> m_highlightedID;
};

} // namespace tarvo
