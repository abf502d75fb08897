#include "TarvoPlatform/x11/X11DirectSave.h"
#include "TarvoPlatform/x11/X11Input.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

TEST(X11Input, RootPixelsBecomePointsWithYUpwardsFromTheMainScreen) {
    struct Case {
        const char* name;
        QPoint native;
        qreal ratio;
        QRect main;
        QPointF expected;
    };
    const std::vector<Case> cases{
        {"top left", {0, 0}, 1.0, {0, 0, 1280, 800}, {0, 800}},
        {"bottom edge", {100, 800}, 1.0, {0, 0, 1280, 800}, {100, 0}},
        {"middle", {640, 300}, 1.0, {0, 0, 1280, 800}, {640, 500}},
        {"scale factor 2", {640, 300}, 2.0, {0, 0, 1440, 900}, {320, 750}},
        {"main screen right of another", {2000, 100}, 1.0, {1920, 0, 1280, 1024}, {80, 924}},
        {"screen above the main one", {50, -200}, 1.0, {0, 0, 1280, 800}, {50, 1000}},
        {"no ratio counts as 1", {10, 10}, 0.0, {0, 0, 100, 100}, {10, 90}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(X11Input::screenPoint(c.native, c.ratio, c.main), c.expected);
    }
}

TEST(X11DirectSave, NamesTheFileWithTheHostAndAnEncodedPath) {
    EXPECT_EQ(X11DirectSave::fileURI("/tmp/Items/ABC/My File #1.txt", "box"),
              "file://box/tmp/Items/ABC/My%20File%20%231.txt");
    EXPECT_EQ(X11DirectSave::fileURI(QString::fromUtf8("/t/na\xc3\xafve.txt"), "box"),
              "file://box/t/na%C3%AFve.txt");
    EXPECT_EQ(X11DirectSave::fileURI("/t/a.txt", ""), "file:///t/a.txt");
}

} // namespace
