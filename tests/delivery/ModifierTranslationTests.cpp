#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/QtModifiers.h"
#include "TarvoPlatform/x11/X11Input.h"

#include <gtest/gtest.h>

#include <xcb/xproto.h>

using namespace tarvo;
using namespace tarvo::ModifierFlag;

namespace {

// Both sources of modifier state must agree: Ctrl is command, Alt is option.
TEST(ModifierTranslation, GivesTheSameFlagsFromQtAndFromX11) {
    struct Case {
        const char* name;
        Qt::KeyboardModifiers qt;
        quint16 x11;
        quint64 expected;
    };
    const Case cases[] = {
        {"nothing", Qt::NoModifier, 0, 0},
        {"Shift", Qt::ShiftModifier, XCB_MOD_MASK_SHIFT, shift},
        {"Ctrl", Qt::ControlModifier, XCB_MOD_MASK_CONTROL, command},
        {"Alt", Qt::AltModifier, XCB_MOD_MASK_1, option},
        {"Alt and Shift", Qt::AltModifier | Qt::ShiftModifier, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT,
         option | shift},
        {"Ctrl, Alt and Shift", Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier,
         XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT, command | option | shift},
        {"Super counts for nothing", Qt::MetaModifier, XCB_MOD_MASK_4, 0},
        {"keypad and Num Lock count for nothing", Qt::KeypadModifier,
         XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QtModifiers::modifierFlags(c.qt), c.expected);
        EXPECT_EQ(X11Input::modifierFlags(c.x11), c.expected);
    }
}

} // namespace
