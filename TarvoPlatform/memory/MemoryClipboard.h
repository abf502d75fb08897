#pragma once

#include "TarvoPlatform/Clipboard.h"
#include "TarvoPlatform/Pasteboard.h"

#include <QMimeData>

#include <optional>

namespace tarvo {

// A clipboard a test reads back, holding what the real one would be given;
// it can be made to refuse writes.
class MemoryClipboard final : public Clipboard {
public:
    std::unique_ptr<Pasteboard> contents() override { return snapshot(m_data.get()); }
    bool writeText(const QString& text) override {
        ++m_writes;
        if (m_refuses)
            return false;
        m_data = textData(text);
        m_text = text;
        m_urls.clear();
        return true;
    }
    bool writeFileURLs(const QList<QUrl>& urls) override {
        ++m_writes;
        if (m_refuses)
            return false;
        m_data = fileData(urls);
        m_urls = urls;
        m_text.reset();
        return true;
    }

    void setRefuses(bool refuses) { m_refuses = refuses; }
    // The text of the last write of text alone.
    const std::optional<QString>& text() const { return m_text; }
    // The files of the last write of files.
    const QList<QUrl>& urls() const { return m_urls; }
    // Everything on the clipboard now, as other applications would read it.
    const QMimeData* data() const { return m_data.get(); }
    int writes() const { return m_writes; }

private:
    std::unique_ptr<QMimeData> m_data;
    std::optional<QString> m_text;
    QList<QUrl> m_urls;
    bool m_refuses = false;
    int m_writes = 0;
};

} // namespace tarvo
