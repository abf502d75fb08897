#pragma once

#include "Rect.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarvo {

// What assistive technologies can see of other applications. Role names are
// the ones the rest of the code counts in: "AXTextArea", "AXTextField",
// "AXOutline", "AXTable", "AXBrowser", "AXList", "AXWebArea"; a role without
// a counterpart keeps the backend's own name. Main thread only.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether other applications' elements can be asked about at all. Never
    // prompts the user.
    virtual bool isTrusted() = 0;
    // The role of the element at `point` (global space, top-left origin,
    // points) in the application of process `pid`. None when not trusted, when
    // nothing is there, or when no answer came in time: a hung application
    // never holds up the caller for long.
    virtual std::optional<QString> roleAt(Point point, qint32 pid) = 0;
};

} // namespace tarvo
