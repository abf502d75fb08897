#include "Imaging.h"

#include "ConversionError.h"
#include "ImagingModule.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/LoadableModule.h"
#include "TarvoCore/Log.h"

#include <atomic>
#include <stdexcept>

namespace tarvo::Imaging {

namespace {

std::atomic<bool> loaded{false};

// Loaded at the first call from any thread; a module that is missing or from
// another build is looked for once and then left alone.
const ImagingModule* module() {
    static const ImagingModule* const found = [] {
        const ImagingModule* table = LoadableModule::table<ImagingModule>(Log::convert());
        loaded = table != nullptr;
        return table;
    }();
    return found;
}

ConversionError missing() {
    return ConversionError::unsupported(QStringLiteral("image conversion"))
        .because(QStringLiteral("%1 is not installed").arg(QLatin1String(ImagingModule::fileName)));
}

ConversionError conversionError(ConversionError::Kind kind, const QString& text) {
    switch (kind) {
    case ConversionError::Kind::cannotRead:
        return ConversionError::cannotRead(text);
    case ConversionError::Kind::cannotDecode:
        return ConversionError::cannotDecode(text);
    case ConversionError::Kind::cannotWrite:
        return ConversionError::cannotWrite(text);
    case ConversionError::Kind::unsupported:
        return ConversionError::unsupported(text);
    case ConversionError::Kind::noPayload:
        break;
    }
    return ConversionError::noPayload();
}

// The module's error, thrown here as the program's own.
void rethrow(const ImagingFailure& failure) {
    switch (failure.type) {
    case ImagingFailure::Type::none:
        return;
    case ImagingFailure::Type::conversion: {
        ConversionError error =
            conversionError(static_cast<ConversionError::Kind>(failure.kind), failure.text);
        if (failure.reason.isEmpty())
            throw error;
        throw std::move(error).because(failure.reason);
    }
    case ImagingFailure::Type::file:
        throw FileError(failure.operation, failure.path, failure.code, failure.reason);
    case ImagingFailure::Type::other:
        break;
    }
    throw std::runtime_error(failure.text.toStdString());
}

} // namespace

void convertImage(const QString& source, const ImageOptions& options, const QString& destination) {
    const ImagingModule* imaging = module();
    if (!imaging)
        throw missing();
    ImagingFailure failure;
    imaging->convertImage(source, options, destination, failure);
    rethrow(failure);
}

void imagesToPDF(const QStringList& images, const QString& destination) {
    const ImagingModule* imaging = module();
    if (!imaging)
        throw missing();
    ImagingFailure failure;
    imaging->imagesToPDF(images, destination, failure);
    rethrow(failure);
}

qint64 decodedBytes(const QString& source, const ImageOptions* options) {
    const ImagingModule* imaging = module();
    return imaging ? imaging->decodedBytes(source, options) : 0;
}

QImage thumbnail(const QString& path, int pixels) {
    const ImagingModule* imaging = module();
    return imaging ? imaging->thumbnail(path, pixels) : QImage();
}

bool isLoaded() {
    return loaded;
}

} // namespace tarvo::Imaging
