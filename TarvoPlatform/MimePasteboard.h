#pragma once

#include "DropPromises.h"
#include "Pasteboard.h"

class QMimeData;

namespace tarvo {

// The pasteboard of a drop or a paste: Qt's data for it, read in the shelf's
// type identifiers. Valid while the QMimeData is.
class MimePasteboard final : public Pasteboard {
public:
    explicit MimePasteboard(const QMimeData& data, DropPromises* promises = nullptr,
                            qint64 changeCount = 0);

    qint64 changeCount() const override { return m_changeCount; }
    std::optional<QStringList> types() const override;
    std::optional<QByteArray> data(const QString& type) const override;
    std::optional<QString> string(const QString& type) const override;
    QList<QUrl> readURLs(bool fileURLsOnly) const override;
    std::vector<std::shared_ptr<FilePromiseReceiver>> readFilePromiseReceivers() const override;

private:
    std::optional<QString> format(const QString& type) const;
    std::optional<std::pair<QUrl, QString>> mozURL() const;

    const QMimeData& m_data;
    DropPromises* m_promises;
    qint64 m_changeCount;
};

} // namespace tarvo
