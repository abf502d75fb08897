#include "QtClipboard.h"

#include "Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tarvo {

namespace {

bool take(std::unique_ptr<QMimeData> data) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setMimeData(data.release(), QClipboard::Clipboard);
    // Qt owns the selection only when the server handed it over; where
    // clipboards are not owned at all, having written is all there is.
    return !clipboard->supportsSelection() || clipboard->ownsClipboard();
}

} // namespace

std::unique_ptr<Pasteboard> QtClipboard::contents() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return snapshot(clipboard ? clipboard->mimeData(QClipboard::Clipboard) : nullptr);
}

bool QtClipboard::writeText(const QString& text) {
    return take(textData(text));
}

bool QtClipboard::writeFileURLs(const QList<QUrl>& urls) {
    return take(fileData(urls));
}

} // namespace tarvo
