#pragma once

#include "TarvoCore/RuleModel.h"

#include <QImage>
#include <QString>
#include <QStringList>

// What the image module and the program hand each other. The module keeps its
// own copies of the error types, so errors cross as values, never as
// exceptions; the program throws them again as its own.
namespace tarvo {

struct ImagingFailure {
    enum class Type { none, conversion, file, other };
    Type type = Type::none;
    int kind = 0; // ConversionError::Kind for a conversion error
    QString text;
    QString reason;
    QString operation; // of a file error
    QString path;
    int code = 0;
};

struct ImagingModule {
    // Raised whenever a function below changes shape, so that a module left
    // from another build is refused rather than called.
    static constexpr int currentVersion = 1;
    static constexpr const char* fileName = "tarvo-imaging.so";
    static constexpr const char* entryName = "tarvo_imaging_module";

    int version;
    void (*convertImage)(const QString& source, const ImageOptions& options,
                         const QString& destination, ImagingFailure& failure);
    void (*imagesToPDF)(const QStringList& images, const QString& destination,
                        ImagingFailure& failure);
    qint64 (*decodedBytes)(const QString& source, const ImageOptions* options);
    QImage (*thumbnail)(const QString& path, int pixels);
};

} // namespace tarvo
