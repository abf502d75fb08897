#include "UpdateCheckResult.h"

namespace tarvo {

QString UpdateCheckResult::description() const {
    if (std::holds_alternative<UpToDate>(value))
        return QStringLiteral("upToDate");
    if (const auto* ready = std::get_if<UpdateReady>(&value))
        return QStringLiteral("updateReady(%1, %2)").arg(ready->item.shortVersion, ready->stagedAt);
    return QStringLiteral("failed(%1)").arg(std::get<Failed>(value).message);
}

} // namespace tarvo
