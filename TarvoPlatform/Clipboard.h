#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace tarvo {

// The desktop's clipboard, where a paste in any application reads from.
// Main thread only.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Each replaces what the clipboard holds; false when the window system did
    // not hand the clipboard to us, which leaves it as it was.
    virtual bool writeText(const QString& text) = 0;
    // Files as file managers and editors paste them, with their paths as text.
    virtual bool writeFileURLs(const QList<QUrl>& urls) = 0;
};

} // namespace tarvo
