#include "BadgeContent.h"

#include "TarvoCore/L10n.h"

namespace tarvo {

BadgeContent BadgeContent::initial() {
    return {L10n::badgeOriginal(), false, std::nullopt};
}

BadgeContent BadgeContent::resolve(const std::optional<Delivery>& delivery,
                                   const ResolvedDestination& destination, qsizetype count) {
    QString prefix;
    if (count >= 2)
        prefix = L10n::badgeBatch(count) + QStringLiteral(" \u00B7 ");
    BadgeContent content;
    content.bundleID = destination.bundleID;
    if (destination.bundleID && delivery) {
        content.text = prefix + delivery->badgeText();
        content.isConversion = delivery->isConversion();
    } else {
        content.text = prefix + L10n::badgeOriginal();
        content.isConversion = false;
    }
    return content;
}

} // namespace tarvo
