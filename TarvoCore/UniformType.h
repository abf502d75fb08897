#pragma once

#include <QMimeType>
#include <QString>

#include <optional>

// Content types by MIME type: the shared MIME database stands for the type
// registry, and conformance is inheritance there.
namespace tarvo::UniformType {

// The type registered for a filename extension (without the dot), if any.
std::optional<QMimeType> forFilenameExtension(const QString& extension);

bool conformsToImage(const QMimeType& type);
bool conformsToHeic(const QMimeType& type);
bool conformsToPdf(const QMimeType& type);

} // namespace tarvo::UniformType
