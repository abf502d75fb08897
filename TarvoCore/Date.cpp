#include "Date.h"

#include <chrono>

namespace tarvo {

Date Date::now() {
    using namespace std::chrono;
    const auto since = system_clock::now().time_since_epoch();
    return Date(duration_cast<duration<double>>(since).count());
}

} // namespace tarvo
