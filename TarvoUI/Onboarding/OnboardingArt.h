#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace tarvo {

// The tutorial's size: its view and its window's content.
namespace OnboardingMetrics {
inline constexpr int width = 600;
inline constexpr int height = 480;
} // namespace OnboardingMetrics

// The tutorial's palette.
namespace OB {
QColor paper();
QColor card();
QColor ink();
QColor muted();
QColor cobalt();
// What does not work as it should, such as a taken shortcut.
QColor warning();
} // namespace OB

// The picture the tutorial asks the user to drag onto the shelf: the app
// tile, written as a PNG into the user's own work folder, so the drop goes
// through the shelf's ordinary path.
namespace OnboardingSample {
// "Tarvo sample.png"; also the name the landed item carries.
QString fileName();
// Where the sample lives, written there on the first call of the process.
// When the folder cannot be written the path is still given; the file is
// then missing.
QString filePath();
// Writes the sample into `folder` and returns its path; an empty string
// when it could not be written.
QString writeInto(const QString& folder);
// 512 by 512 pixels of the tile face.
const QImage& image();
// The sample as the file manager would show it, `size` points square at
// `devicePixelRatio`.
QPixmap icon(int size, qreal devicePixelRatio);
} // namespace OnboardingSample

// The soft blue picture behind the first two steps.
namespace SilkAssets {
// 1016 by 436 pixels, made once; the same on every run.
const QImage& hero();
} // namespace SilkAssets

} // namespace tarvo
