#pragma once

#include "TarvoPlatform/Accessibility.h"

#include <functional>

namespace tarvo {

// Accessibility as a test sets it: trust, and the role found at a point.
class MemoryAccessibility final : public Accessibility {
public:
    using RoleFinder = std::function<std::optional<QString>(Point, qint32)>;

    bool isTrusted() override { return m_trusted; }
    std::optional<QString> roleAt(Point point, qint32 pid) override {
        ++m_queries;
        if (!m_trusted || !m_finder)
            return std::nullopt;
        return m_finder(point, pid);
    }

    void setTrusted(bool trusted) { m_trusted = trusted; }
    void setRole(std::optional<QString> role) {
        m_finder = [role](Point, qint32) { return role; };
    }
    void setRoleFinder(RoleFinder finder) { m_finder = std::move(finder); }
    int queries() const { return m_queries; }

private:
    bool m_trusted = false;
    RoleFinder m_finder;
    int m_queries = 0;
};

} // namespace tarvo
