#include "Clipboard.h"

#include "MimePasteboard.h"

#include <QMimeData>
#include <QStringList>

namespace tarvo {

namespace {

// Holds the clipboard's data as it was read, so that the pasteboard stays
// valid while the clipboard changes under it.
class ClipboardSnapshot final : public Pasteboard {
public:
    explicit ClipboardSnapshot(const QMimeData* data) {
        if (data) {
            for (const QString& format : data->formats())
                m_data.setData(format, data->data(format));
        }
    }
    qint64 changeCount() const override { return 0; }
    std::optional<QStringList> types() const override { return m_pasteboard.types(); }
    std::optional<QByteArray> data(const QString& type) const override {
        return m_pasteboard.data(type);
    }
    std::optional<QString> string(const QString& type) const override {
        return m_pasteboard.string(type);
    }
    QList<QUrl> readURLs(bool fileURLsOnly) const override {
        return m_pasteboard.readURLs(fileURLsOnly);
    }
    std::vector<std::shared_ptr<FilePromiseReceiver>> readFilePromiseReceivers() const override {
        return {};
    }

private:
    QMimeData m_data;
    MimePasteboard m_pasteboard{m_data};
};

} // namespace

std::unique_ptr<QMimeData> Clipboard::textData(const QString& text) {
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
}

std::unique_ptr<QMimeData> Clipboard::fileData(const QList<QUrl>& urls) {
    auto data = std::make_unique<QMimeData>();
    QByteArray uriList;
    QByteArray copied = "copy";
    QStringList paths;
    for (const QUrl& url : urls) {
        const QByteArray encoded = url.toEncoded();
        uriList += encoded + "\r\n";
        copied += '\n' + encoded;
        paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    }
    data->setData(QStringLiteral("text/uri-list"), uriList);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    data->setText(paths.join(u'\n'));
    return data;
}

void Clipboard::read(const QObject*, Reader done) {
    done(contents());
}

std::optional<QStringList> Clipboard::types() {
    return contents()->types();
}

std::unique_ptr<Pasteboard> Clipboard::snapshot(const QMimeData* data) {
    return std::make_unique<ClipboardSnapshot>(data);
}

} // namespace tarvo
