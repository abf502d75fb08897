#pragma once

#include <QString>

namespace tarvo::bench {

// Writes a photograph-like JPEG of `width` by `height` pixels to `path`:
// noise of `sigma` over gradients, softened by a Gaussian blur of `blur`
// (none at 0), at quality 90, so that it costs what a camera's picture costs
// to decode.
void writePhoto(const QString& path, int width, int height, double sigma, double blur = 0);

} // namespace tarvo::bench
