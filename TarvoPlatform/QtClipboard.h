#pragma once

#include "Clipboard.h"

namespace tarvo {

// The CLIPBOARD selection through Qt. Files go out as a URI list, in the form
// GNOME-style file managers paste, and as their paths in text.
class QtClipboard final : public Clipboard {
public:
    bool writeText(const QString& text) override;
    bool writeFileURLs(const QList<QUrl>& urls) override;
};

} // namespace tarvo
