#pragma once

#include <QPointF>
#include <QRect>
#include <QtGlobal>

// The one place where X11's view of the keyboard and pointer is turned into
// the values the rest of the code counts in.
namespace tarvo::X11Input {

// Modifier flags for an X11 key and button state mask: Shift stays Shift,
// Control stands for command and Mod1 (Alt) for option; the rest count for
// nothing.
quint64 modifierFlags(quint16 state);

// A point in root-window pixels (y downwards from the top left of the whole
// screen area) as global points with y upwards from the bottom left of the
// main screen, whose geometry is given in points.
QPointF screenPoint(QPoint native, qreal devicePixelRatio, const QRect& mainScreen);

} // namespace tarvo::X11Input
