#include "FilePromiseReceiver.h"

#include "TypeMapping.h"

namespace tarvo {

QStringList FilePromiseReceiver::readableDraggedTypes() {
    return {QString(TypeIdentifier::directSave)};
}

} // namespace tarvo
