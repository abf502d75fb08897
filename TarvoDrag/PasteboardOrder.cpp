#include "PasteboardOrder.h"

#include "TarvoPlatform/DragPasteboard.h"
#include "TarvoPlatform/TypeMapping.h"

namespace tarvo {

QString rawValue(PasteboardOrderStrategy strategy) {
    switch (strategy) {
    case PasteboardOrderStrategy::rewrite:
        return QStringLiteral("rewrite");
    case PasteboardOrderStrategy::fixed:
        return QStringLiteral("fixed");
    }
    return {};
}

std::optional<PasteboardOrderStrategy> pasteboardOrderStrategyFromRawValue(const QString& raw) {
    if (raw == QLatin1String("rewrite"))
        return PasteboardOrderStrategy::rewrite;
    if (raw == QLatin1String("fixed"))
        return PasteboardOrderStrategy::fixed;
    return std::nullopt;
}

namespace PasteboardOrder {

namespace {

// Stands for the promise type in the tables below.
const QString promiseSlot = QStringLiteral("\x01promise");

QStringList build(const QStringList& table, const std::optional<QString>& promiseType) {
    QStringList order;
    order.reserve(table.size());
    for (const QString& entry : table) {
        if (entry != promiseSlot)
            order.append(entry);
        else if (promiseType)
            order.append(*promiseType);
    }
    return order;
}

QString fileURL() {
    return QString(TypeIdentifier::fileURL);
}
QString png() {
    return QString(TypeIdentifier::png);
}
QString tiff() {
    return QString(TypeIdentifier::tiff);
}
QString rtf() {
    return QString(TypeIdentifier::rtf);
}
QString string() {
    return QString(TypeIdentifier::utf8PlainText);
}
QString url() {
    return QString(TypeIdentifier::url);
}

} // namespace

const QString& jpegType() {
    static const QString type(TypeIdentifier::jpeg);
    return type;
}

QStringList defaultOrder(const std::optional<QString>& promiseType) {
    return build({fileURL(), promiseSlot, png(), jpegType(), tiff(), rtf(), string(), url()},
                 promiseType);
}

QStringList types(const Delivery& delivery, const std::optional<QString>& promiseType) {
    if (delivery.is<Delivery::Original>())
        return defaultOrder(promiseType);
    if (delivery.is<Delivery::Path>() || delivery.is<Delivery::PlainText>())
        return build({string(), promiseSlot, fileURL(), png(), jpegType(), url()}, promiseType);
    return build({promiseSlot, fileURL(), png(), jpegType(), tiff(), string(), url()}, promiseType);
}

bool rewrite(DragPasteboard& pasteboard, const std::vector<PasteboardWriter>& writers) {
    if (writers.empty())
        return false;
    const auto* first = std::get_if<std::shared_ptr<PasteboardItem>>(&writers.front());
    if (!first)
        return false;
    const QStringList expected = (*first)->types();
    pasteboard.clearContents();
    if (!pasteboard.writeObjects(writers))
        return false;
    const QStringList actual = pasteboard.types().value_or(QStringList());
    return !expected.isEmpty() && !actual.isEmpty() && actual.front() == expected.front();
}

} // namespace PasteboardOrder

} // namespace tarvo
