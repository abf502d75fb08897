#pragma once

#include <QImage>
#include <QString>

namespace tarvo::test {

// Compares `image` with the stored golden `name` (a PNG in tests/ui/golden):
// every channel of every pixel within `tolerance`. With TARVO_UPDATE_GOLDEN=1
// in the environment the golden is written instead. Returns a message on a
// mismatch, an empty string on a match.
QString compareWithGolden(const QImage& image, const QString& name, int tolerance = 6);

} // namespace tarvo::test
