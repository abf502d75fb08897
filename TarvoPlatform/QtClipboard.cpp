#include "QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tarvo {

namespace {

bool take(QMimeData* data) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        delete data;
        return false;
    }
    clipboard->setMimeData(data, QClipboard::Clipboard);
    // Qt owns the selection only when the server handed it over; where
    // clipboards are not owned at all, having written is all there is.
    return !clipboard->supportsSelection() || clipboard->ownsClipboard();
}

} // namespace

bool QtClipboard::writeText(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    return take(data);
}

bool QtClipboard::writeFileURLs(const QList<QUrl>& urls) {
    auto* data = new QMimeData;
    data->setUrls(urls);
    QByteArray copied("copy");
    QStringList paths;
    for (const QUrl& url : urls) {
        copied += '\n' + url.toEncoded();
        paths.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    }
    data->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    data->setText(paths.join(QLatin1Char('\n')));
    return take(data);
}

} // namespace tarvo
