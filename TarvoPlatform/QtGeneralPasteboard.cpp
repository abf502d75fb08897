#include "QtGeneralPasteboard.h"

#include "MimePasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

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

std::unique_ptr<Pasteboard> QtGeneralPasteboard::contents() {
    return std::make_unique<ClipboardSnapshot>(QGuiApplication::clipboard()->mimeData());
}

QMimeData* QtGeneralPasteboard::fileData(const QList<QUrl>& files) {
    auto* data = new QMimeData;
    QByteArray uriList;
    QByteArray copied = "copy";
    QStringList paths;
    for (const QUrl& url : files) {
        const QByteArray encoded = url.toEncoded();
        uriList += encoded + "\r\n";
        copied += '\n' + encoded;
        paths << url.toLocalFile();
    }
    data->setData(QStringLiteral("text/uri-list"), uriList);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    data->setText(paths.join(u'\n'));
    return data;
}

void QtGeneralPasteboard::writeFiles(const QList<QUrl>& files) {
    QGuiApplication::clipboard()->setMimeData(fileData(files), QClipboard::Clipboard);
}

void QtGeneralPasteboard::writeString(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

} // namespace tarvo
