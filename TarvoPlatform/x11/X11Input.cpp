#include "X11Input.h"

#include "TarvoPlatform/InputState.h"

#include <xcb/xproto.h>

namespace tarvo::X11Input {

quint64 modifierFlags(quint16 state) {
    quint64 flags = 0;
    if (state & XCB_MOD_MASK_SHIFT)
        flags |= ModifierFlag::shift;
    if (state & XCB_MOD_MASK_CONTROL)
        flags |= ModifierFlag::command;
    if (state & XCB_MOD_MASK_1)
        flags |= ModifierFlag::option;
    return flags;
}

QPointF screenPoint(QPoint native, qreal devicePixelRatio, const QRect& mainScreen) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const qreal x = native.x() / ratio;
    const qreal y = native.y() / ratio;
    return {x - mainScreen.x(), mainScreen.y() + mainScreen.height() - y};
}

} // namespace tarvo::X11Input
