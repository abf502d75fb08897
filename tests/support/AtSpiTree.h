#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace tarvo::test {

// One element of an application's accessibility tree as AT-SPI shows it to
// a screen reader.
struct AtSpiNode {
    // AT-SPI's numbers for the roles the tests look for.
    static constexpr quint32 image = 27;
    static constexpr quint32 panel = 39;

    quint32 role = 0;
    QString roleName; // as the application names its role
    QString name;
    QString description;
    std::vector<AtSpiNode> children;

    // Every element below this one (itself included) with `role`, in tree order.
    std::vector<const AtSpiNode*> withRole(quint32 role) const;
    // The tree as indented lines of role and name, for failure messages.
    QString describe(int indent = 0) const;
};

// Reads the whole tree of the application of process `pid` from the
// session's accessibility bus; none when the bus or the application cannot
// be reached within `ms`. Walks at most `maxDepth` levels.
std::optional<AtSpiNode> readAtSpiTree(qint64 pid, int ms = 5000, int maxDepth = 16);

} // namespace tarvo::test
