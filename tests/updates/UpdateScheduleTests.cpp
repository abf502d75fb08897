#include "TarvoUpdates/UpdateController.h"
#include "TarvoUpdates/UpdateSchedule.h"

#include <gtest/gtest.h>

using namespace tarvo;

TEST(UpdateSchedule, DueOnceAWeekAfterTheFirstDelivery) {
    const Date now = Date::fromSecondsSince1970(1'800'000'000);
    const double week = 604800;
    struct Case {
        const char* name;
        std::optional<Date> lastCheck;
        qint64 dropCount;
        bool due;
    };
    const std::vector<Case> cases = {
        {"first run: no check and nothing delivered", std::nullopt, 0, false},
        {"never checked, one delivery", std::nullopt, 1, true},
        {"checked a moment ago", now.addingSeconds(-1), 5, false},
        {"checked a second short of a week ago", now.addingSeconds(-(week - 1)), 5, false},
        {"checked exactly a week ago", now.addingSeconds(-week), 5, true},
        {"checked a month ago", now.addingSeconds(-4 * week), 5, true},
        {"checked a week ago with nothing delivered since", now.addingSeconds(-week), 0, true},
        {"checked a day ago with nothing delivered", now.addingSeconds(-86400), 0, false},
        {"checked now", now, 5, false},
        {"a last check in the future counts as due", now.addingSeconds(1), 5, true},
        {"a last check years ahead counts as due", now.addingSeconds(3 * 365 * 86400.0), 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UpdateSchedule::isDue(now, c.lastCheck, c.dropCount), c.due);
    }
    EXPECT_EQ(UpdateController::checkInterval, week);
}
