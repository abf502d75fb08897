#pragma once

#include "Rect.h"
#include "TarvoCore/ItemLayout.h"

#include <ostream>

// Readable failure messages for the geometry value types.
namespace tarvo {

inline void PrintTo(const Point& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}

inline void PrintTo(const Size& s, std::ostream* os) {
    *os << s.width << " x " << s.height;
}

inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << "{x " << r.x << ", y " << r.y << ", w " << r.width << ", h " << r.height << "}";
}

namespace ItemLayout {
inline void PrintTo(const Slot& s, std::ostream* os) {
    *os << "slot " << s.index << " frame ";
    tarvo::PrintTo(s.frame, os);
    *os << " hit ";
    tarvo::PrintTo(s.hitFrame, os);
    *os << (s.isOverflowChip ? " chip" : "");
}
} // namespace ItemLayout

} // namespace tarvo
