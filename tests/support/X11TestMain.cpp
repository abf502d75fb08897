// The main of the X11 suites that need nothing but a Qt application around
// their tests; linked from a library, so a suite with a main of its own keeps
// that one.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
