#include "AcceptedTypes.h"

#include "TarvoPlatform/FilePromiseReceiver.h"
#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/TypeMapping.h"

#include <QSet>

namespace tarvo::AcceptedTypes {

const QStringList& promiseTypes() {
    static const QStringList types = [] {
        QStringList list = FilePromiseReceiver::readableDraggedTypes();
        const QString promised(TypeIdentifier::promisedFileURL);
        if (!list.contains(promised))
            list.append(promised);
        return list;
    }();
    return types;
}

const QStringList& concreteTypes() {
    static const QStringList types{
        TypeIdentifier::fileURL, TypeIdentifier::url,           TypeIdentifier::png,
        TypeIdentifier::tiff,    TypeIdentifier::rtf,           TypeIdentifier::flatRTFD,
        TypeIdentifier::html,    TypeIdentifier::utf8PlainText, TypeIdentifier::jpeg,
        TypeIdentifier::heic,    TypeIdentifier::pdf,           TypeIdentifier::image,
    };
    return types;
}

const QStringList& all() {
    static const QStringList types = promiseTypes() + concreteTypes();
    return types;
}

bool canAccept(const QStringList& types) {
    static const QSet<QString> members(all().begin(), all().end());
    for (const QString& type : types) {
        if (members.contains(type))
            return true;
    }
    return false;
}

bool canAccept(const Pasteboard& pasteboard) {
    return canAccept(pasteboard.types().value_or(QStringList{}));
}

} // namespace tarvo::AcceptedTypes
