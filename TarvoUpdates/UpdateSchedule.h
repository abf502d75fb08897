#pragma once

#include "TarvoCore/Date.h"

#include <QtGlobal>

#include <optional>

// When the background update check runs at start.
namespace tarvo::UpdateSchedule {

// Seconds between background checks: 7 days.
inline constexpr double checkInterval = 604800;

// Never before the first delivery out of the shelf (no check made yet and
// nothing delivered); then when at least `checkInterval` has passed since the
// last check. A last check dated in the future counts as due, so a clock that
// was once set wrong does not hold checks off for good.
bool isDue(Date now, const std::optional<Date>& lastCheck, qint64 dropCount);

} // namespace tarvo::UpdateSchedule
