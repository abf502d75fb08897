#pragma once

#include "Clipboard.h"

namespace tarvo {

// The CLIPBOARD selection through Qt, which on X11 serves it to other
// applications for as long as this process holds it.
class QtClipboard final : public Clipboard {
public:
    std::unique_ptr<Pasteboard> contents() override;
    bool writeText(const QString& text) override;
    bool writeFileURLs(const QList<QUrl>& urls) override;
};

} // namespace tarvo
