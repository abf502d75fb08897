#include "BatchConfirmation.h"

#include "TarvoCore/L10n.h"

namespace tarvo {

QString BatchConfirmation::message() const {
    return L10n::batchConfirm(itemCount, format, maxPixels);
}

bool BatchConfirmation::isNeeded(int itemCount, const Delivery& delivery,
                                 const std::optional<QString>& rename, bool confirmationsEnabled) {
    if (!confirmationsEnabled || itemCount < 2)
        return false;
    if (rename)
        return true;
    const auto* image = std::get_if<Delivery::Image>(&delivery.value);
    return image && image->options.maxPixels.has_value();
}

std::optional<BatchConfirmation::Choice> BatchConfirmation::choice(Date shownAt, Date now) {
    if (now.secondsSince(shownAt) >= timeout)
        return Choice::deliver;
    return std::nullopt;
}

} // namespace tarvo
