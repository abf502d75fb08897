#include "OutputNaming.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace tarvo::OutputNaming {

namespace {

// An extension longer than this is not worth keeping whole in a shortened name.
constexpr int kMaxKeptExtensionBytes = 32;

bool isControl(QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

// The longest prefix of `text` that ends on a character boundary and fits in
// `maxBytes` of UTF-8.
QString truncated(const QString& text, int maxBytes) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    qsizetype bytes = 0;
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype boundary = finder.position();
        const qsizetype length = text.mid(start, boundary - start).toUtf8().size();
        if (bytes + length > maxBytes)
            break;
        bytes += length;
        end = boundary;
        start = boundary;
    }
    return text.left(end);
}

} // namespace

QString pathExtension(const QString& name) {
    const qsizetype slash = name.lastIndexOf(u'/');
    const QString component = name.mid(slash + 1);
    const qsizetype dot = component.lastIndexOf(u'.');
    if (dot <= 0)
        return {};
    return component.mid(dot + 1);
}

QString deletingPathExtension(const QString& name) {
    const QString ext = pathExtension(name);
    return ext.isEmpty() ? name : name.chopped(ext.size() + 1);
}

QString outputExtension(const Delivery& delivery, const QString& originalName) {
    if (delivery.is<Delivery::Original>())
        return pathExtension(originalName);
    if (delivery.is<Delivery::Path>())
        return {};
    if (delivery.is<Delivery::PlainText>())
        return QStringLiteral("txt");
    if (delivery.is<Delivery::Webloc>())
        return QStringLiteral("desktop");
    if (delivery.is<Delivery::Pdf>())
        return QStringLiteral("pdf");
    return fileExtension(delivery.imageOptions()->format);
}

QString cleanFileName(const QString& name) {
    QString clean = name;
    for (QChar& c : clean) {
        if (c == u'/' || isControl(c))
            c = u'-';
    }
    if (std::all_of(clean.begin(), clean.end(), [](QChar c) { return c == u'.'; }))
        clean.prepend(u'_');

    if (clean.toUtf8().size() <= kMaxNameBytes)
        return clean;
    const QString ext = pathExtension(clean);
    const qsizetype extBytes = ext.toUtf8().size();
    if (ext.isEmpty() || extBytes > kMaxKeptExtensionBytes)
        return truncated(clean, kMaxNameBytes);
    const QString stem = clean.chopped(ext.size() + 1);
    return truncated(stem, kMaxNameBytes - static_cast<int>(extBytes) - 1) + u'.' + ext;
}

} // namespace tarvo::OutputNaming
