#pragma once

#include "TarvoPlatform/Pasteboard.h"

#include <QHash>

namespace tarvo {

// A pasteboard held in memory, written by tests the way a source would write
// the real one: each write of new content bumps the change count.
class MemoryPasteboard final : public Pasteboard {
public:
    // Forgets everything and bumps the change count.
    void clearContents();
    // Offers types without data, as the drag pasteboard is seen during a drag;
    // none leaves the pasteboard without types. Bumps the change count and,
    // as a drag source taking the selection does, tells the change handler.
    void declareTypes(std::optional<QStringList> types);
    // Each adds one type with its content to what is on offer.
    void setData(const QString& type, const QByteArray& data);
    void setString(const QString& type, const QString& string);
    // Offers "public.file-url" and, for any other URL, "public.url".
    void setURLs(const QList<QUrl>& urls);
    void setFilePromiseReceivers(std::vector<std::shared_ptr<FilePromiseReceiver>> receivers);

    qint64 changeCount() const override { return m_changeCount; }
    void setChangeHandler(ChangeHandler handler) override { m_changed = std::move(handler); }
    std::optional<QStringList> types() const override { return m_types; }
    std::optional<QByteArray> data(const QString& type) const override;
    std::optional<QString> string(const QString& type) const override;
    QList<QUrl> readURLs(bool fileURLsOnly) const override;
    std::vector<std::shared_ptr<FilePromiseReceiver>> readFilePromiseReceivers() const override {
        return m_receivers;
    }

private:
    void offer(const QString& type);

    qint64 m_changeCount = 0;
    std::optional<QStringList> m_types;
    QHash<QString, QByteArray> m_data;
    QHash<QString, QString> m_strings;
    QList<QUrl> m_urls;
    std::vector<std::shared_ptr<FilePromiseReceiver>> m_receivers;
    ChangeHandler m_changed;
};

} // namespace tarvo
