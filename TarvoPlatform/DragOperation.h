#pragma once

#include <QtGlobal>

namespace tarvo {

// What a drag offers its destination, in the values the rest of the code
// counts in; the drag backend maps them to the toolkit's drop actions.
enum class DragOperation : quint64 {
    none = 0,
    copy = 1,
    link = 2,
    generic = 4,
    move = 16,
};

} // namespace tarvo
