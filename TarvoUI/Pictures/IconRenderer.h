#pragma once

#include <QIcon>
#include <QImage>
#include <QRectF>

#include <QString>

#include <array>
#include <optional>

class QPainter;

// The app tile drawn in code: a cobalt tile with a white document sheet and a
// white notch hanging from its top edge. Used for items without a file, the
// About tab, the onboarding sample, the installed icons and the tray icon.
//
// The drawing is described with y pointing up inside the square it is given
// (top = largest y); the painter's own y-down space is flipped once on entry.
namespace tarvo::IconRenderer {

// The sizes the installed application icons come in.
inline constexpr std::array<int, 9> iconSizes{16, 24, 32, 48, 64, 128, 256, 512, 1024};

// Paints the tile face into `rect` (the painter's coordinates): a rounded
// square of radius 0.22 x width, filled with the tile gradient, and the mark
// at the detail level of the rectangle's width.
void paintTileFace(QPainter& painter, const QRectF& rect);

// The tile as a size x size image with a transparent margin of 0.06 x size;
// a null image for a size below 1.
QImage render(int size);
// The tile as an icon for the tray and the windows' frames, drawn at each
// size when first asked for.
QIcon tileIcon();

// The document sheet and the notch in `square`, with the details that suit an
// image of `size` pixels: shadows from 32, the fold and text lines from 48.
void drawNotchMark(QPainter& painter, const QRectF& square, int size);

// The stroke width of the sheet's text lines in a square `squareWidth` wide.
double lineWidth(double squareWidth);

// Why writeAll stopped.
struct IconError {
    enum class Kind { renderFailed, writeFailed };
    Kind kind;
    int size;
    QString description() const;
    bool operator==(const IconError&) const = default;
};

// Writes the tile at every one of iconSizes into `folder` as "icon_SIZE.png";
// none on success.
std::optional<IconError> writeAll(const QString& folder);

} // namespace tarvo::IconRenderer
