#pragma once

#include "TarvoPlatform/Clipboard.h"

#include <optional>

namespace tarvo {

// A clipboard a test reads back; it can be made to refuse writes.
class MemoryClipboard final : public Clipboard {
public:
    bool writeText(const QString& text) override {
        ++m_writes;
        if (m_refuses)
            return false;
        m_text = text;
        m_urls.clear();
        return true;
    }
    bool writeFileURLs(const QList<QUrl>& urls) override {
        ++m_writes;
        if (m_refuses)
            return false;
        m_urls = urls;
        m_text.reset();
        return true;
    }

    void setRefuses(bool refuses) { m_refuses = refuses; }
    const std::optional<QString>& text() const { return m_text; }
    const QList<QUrl>& urls() const { return m_urls; }
    int writes() const { return m_writes; }

private:
    std::optional<QString> m_text;
    QList<QUrl> m_urls;
    bool m_refuses = false;
    int m_writes = 0;
};

} // namespace tarvo
