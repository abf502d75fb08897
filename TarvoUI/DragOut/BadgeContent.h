#pragma once

#include "TarvoCore/Date.h"
#include "TarvoCore/RuleModel.h"

#include <QString>

#include <optional>

namespace tarvo {

// What the cursor badge says while items are dragged out of the shelf.
struct BadgeContent {
    QString text;
    // The delivery changes the item: the label is drawn in the accent colour.
    bool isConversion = false;
    // The destination application, whose icon is shown.
    std::optional<QString> bundleID;

    // "Original", no conversion, no application: what the badge starts with.
    static BadgeContent initial();
    // The text of `delivery` for a destination that is an application, with a
    // batch prefix for two items or more; anything else shows the unchanged
    // item, whatever was decided.
    static BadgeContent resolve(const std::optional<Delivery>& delivery,
                                const ResolvedDestination& destination, qsizetype count);

    bool operator==(const BadgeContent&) const = default;
};

// When the pointer last left the shelf during a drag out.
struct BadgeTiming {
    static constexpr double appearDelay = 0.18;
    // None while the pointer has not left (or has come back).
    std::optional<Date> leftTarvoAt;

    bool operator==(const BadgeTiming&) const = default;
};

} // namespace tarvo
