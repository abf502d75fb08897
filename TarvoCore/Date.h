#pragma once

#include <compare>

namespace tarvo {

// A point in time as a double count of seconds, like the dates the stored files
// carry. Files written by the store count from 1970; the destination log counts
// from 2001-01-01 00:00:00 UTC, the reference date.
class Date final {
public:
    static constexpr double referenceDateSince1970 = 978307200.0;

    constexpr Date() = default;
    static constexpr Date fromSecondsSince1970(double s) { return Date(s); }
    static constexpr Date fromSecondsSinceReferenceDate(double s) {
        return Date(s + referenceDateSince1970);
    }
    static Date now();

    constexpr double secondsSince1970() const { return m_seconds; }
    constexpr double secondsSinceReferenceDate() const {
        return m_seconds - referenceDateSince1970;
    }
    // Seconds from `earlier` to this date (negative when this date is earlier).
    constexpr double secondsSince(Date earlier) const { return m_seconds - earlier.m_seconds; }
    constexpr Date addingSeconds(double s) const { return Date(m_seconds + s); }

    constexpr auto operator<=>(const Date&) const = default;

private:
    constexpr explicit Date(double s) : m_seconds(s) {}
    double m_seconds = 0;
};

} // namespace tarvo
