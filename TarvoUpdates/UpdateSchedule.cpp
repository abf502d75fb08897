#include "UpdateSchedule.h"

namespace tarvo::UpdateSchedule {

bool isDue(Date now, const std::optional<Date>& lastCheck, qint64 dropCount) {
    if (!lastCheck)
        return dropCount != 0;
    const double elapsed = now.secondsSince(*lastCheck);
    return elapsed < 0 || elapsed >= checkInterval;
}

} // namespace tarvo::UpdateSchedule
