#include "TarvoPlatform/x11/AtSpiAccessibility.h"
#include "TarvoPlatform/x11/X11Workspace.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

TEST(AtSpiRoles, BecomeTheRolesTheResolverKnows) {
    struct Case {
        QString role;
        bool singleLine;
        QString expected;
    };
    const Case cases[] = {
        {"text", false, "AXTextArea"},
        {"text", true, "AXTextField"},
        {"terminal", false, "AXTextArea"},
        {"entry", false, "AXTextField"},
        {"password text", false, "AXTextField"},
        {"table", false, "AXTable"},
        {"tree table", false, "AXTable"},
        {"tree", false, "AXOutline"},
        {"list", false, "AXList"},
        {"list box", false, "AXList"},
        {"document web", false, "AXWebArea"},
        {"filler", false, "filler"},
        {"push button", false, "push button"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.role.toStdString() + (c.singleLine ? " (single line)" : ""));
        EXPECT_EQ(AtSpiAccessibility::roleName(c.role, c.singleLine), c.expected);
    }
}

TEST(ProcessIdentity, IsTheStartTimeOfTheStatLine) {
    struct Case {
        const char* name;
        QByteArray stat;
        std::optional<quint64> expected;
    };
    const QByteArray tail = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 987654 19 20\n";
    const Case cases[] = {
        {"a plain name", "4242 (mousepad)" + tail, 987654},
        {"a name with spaces and parentheses", "4242 (my (odd) app)" + tail, 987654},
        {"cut short", "4242 (mousepad) S 1 2 3", std::nullopt},
        {"no name", "4242 mousepad S", std::nullopt},
        {"not a number", "4242 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 soon",
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(X11Workspace::startTimeFromStat(c.stat), c.expected);
    }
}

} // namespace
