#include "ShakeDetector.h"

namespace tarvo {

void ShakeDetector::reset() {
    m_started = false;
    m_direction = 0;
    m_turns.clear();
}

bool ShakeDetector::add(double x, double time) {
    if (!m_started) {
        m_started = true;
        m_origin = x;
        m_extreme = x;
        m_extremeAt = time;
        return false;
    }
    if (m_direction == 0) {
        if (x - m_origin >= minimumTravel || m_origin - x >= minimumTravel) {
            m_direction = x > m_origin ? 1 : -1;
            m_extreme = x;
            m_extremeAt = time;
        }
        return false;
    }
    if ((x - m_extreme) * m_direction > 0) {
        m_extreme = x;
        m_extremeAt = time;
        return false;
    }
    // Back far enough from the extreme: the direction turned there.
    if ((m_extreme - x) * m_direction >= minimumTravel) {
        m_turns.push_back(m_extremeAt);
        m_direction = -m_direction;
        m_extreme = x;
        m_extremeAt = time;
        while (!m_turns.empty() && time - m_turns.front() > window)
            m_turns.pop_front();
        if (static_cast<int>(m_turns.size()) >= reversals) {
            reset();
            return true;
        }
    }
    return false;
}

} // namespace tarvo
