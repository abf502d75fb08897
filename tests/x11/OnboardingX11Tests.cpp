// The first-run tutorial of the tarvo program under openbox: it opens on a
// fresh home, its sample dragged by the pointer onto the running shelf lands
// as an item, and finishing it records that and opens the shelf.
#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"
#include "OnboardingModel.h"
#include "OnboardingView.h"
#include "OnboardingWindow.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"
#include "x11/TarvoProgram.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLayout>
#include <QProcess>

#include <X11/keysym.h>

#include <algorithm>
#include <optional>

namespace tarvo::test {
namespace {

// The tutorial's window of process `pid`: its normal window of the
// tutorial's size.
std::optional<xcb_window_t> tutorialOf(X11Windows& windows, xcb_window_t parent, qint64 pid) {
    X11Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(
        windows.connection(), xcb_query_tree(windows.connection(), parent), nullptr));
    if (!tree)
        return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t child = children[i];
        const std::vector<quint32> pids = windows.cardinals(child, "_NET_WM_PID");
        const std::vector<quint32> types = windows.cardinals(child, "_NET_WM_WINDOW_TYPE");
        const bool normal = std::find(types.begin(), types.end(),
                                      windows.atom("_NET_WM_WINDOW_TYPE_NORMAL")) != types.end();
        if (!pids.empty() && pids.front() == pid && normal &&
            windows.size(child) == QSize(600, 480) && windows.isViewable(child))
            return child;
        if (std::optional<xcb_window_t> found = tutorialOf(windows, child, pid))
            return found;
    }
    return std::nullopt;
}

// Where the sample sits in the tutorial's window: the same view laid out
// here, with the same fonts, on its second step.
QPoint sampleOffset() {
    OnboardingModel model;
    model.setStep(OnboardingModel::Step::tryIt);
    OnboardingWindowController window(model);
    window.window()->layout()->activate();
    OnboardingStage* stage = window.view()->stage();
    return stage->mapTo(window.window(), stage->sampleRect().center());
}

// Folded into the tab: on screen, taking no clicks over the panel and
// showing no more than a thin strip at the top.
bool folded(X11Windows& windows, xcb_window_t panel) {
    if (!windows.isViewable(panel))
        return false;
    const QSize size = windows.size(panel);
    const std::vector<QRect> input = windows.shape(panel, XCB_SHAPE_SK_INPUT);
    const QRect shown = X11Windows::extent(windows.shape(panel, XCB_SHAPE_SK_BOUNDING));
    return !X11Windows::covers(input, QPoint(size.width() / 2, size.height() / 2)) &&
           shown.height() < size.height() / 2;
}

// The display names of the items stored so far.
QStringList itemNames(const TarvoProcess& tarvo) {
    QStringList names;
    for (const QString& folder : tarvo.itemFolders()) {
        QFile file(QDir(folder).filePath(QStringLiteral("item.json")));
        if (file.open(QIODevice::ReadOnly))
            names << QJsonDocument::fromJson(file.readAll())
                         .object()
                         .value(QStringLiteral("displayName"))
                         .toString();
    }
    return names;
}

TEST(OnboardingX11Test, TheSampleDraggedOntoTheShelfLandsAndFinishingOpensTheShelf) {
    TempDir home;
    TarvoProcess tarvo(home);
    tarvo.start();
    X11Windows windows;
    std::optional<xcb_window_t> tutorial;
    ASSERT_TRUE(waitFor(
        [&] { return (tutorial = tutorialOf(windows, windows.root(), tarvo.pid())).has_value(); },
        20000))
        << "no tutorial on the first start";
    std::optional<xcb_window_t> panel;
    ASSERT_TRUE(waitFor([&] { return (panel = windows.panelOf(tarvo.pid())).has_value(); }, 20000));

    XTestHand hand;
    ASSERT_TRUE(hand.ok());
    const QRect frame = windows.rootGeometry(*tutorial);
    // Return is the primary button: from the welcome to the sample.
    hand.moveTo(frame.center());
    pump(300);
    hand.key(XK_Return, true);
    hand.key(XK_Return, false);
    pump(500);

    // The sample, dragged up to the top of the screen, where the shelf
    // unfolds, and dropped onto it.
    hand.moveTo(frame.topLeft() + sampleOffset());
    pump(300);
    hand.press();
    hand.glideTo(frame.topLeft() + sampleOffset() + QPoint(20, -20));
    hand.glideTo(QPoint(frame.center().x(), 60));
    ASSERT_TRUE(waitFor([&] { return windows.isViewable(*panel); }, 10000))
        << "dragging the sample did not unfold the shelf";
    const QRect shelf = windows.rootGeometry(*panel);
    hand.glideTo(shelf.center());
    hand.glideTo(shelf.center() + QPoint(6, 4), 6);
    pump(300);
    hand.release();
    ASSERT_TRUE(waitFor(
        [&] { return itemNames(tarvo).contains(QStringLiteral("Tarvo sample.png")); }, 20000))
        << "the sample did not land";

    // Once the shelf has folded or gone, on through the last two steps; the
    // last Return finishes.
    hand.moveTo(frame.center());
    ASSERT_TRUE(waitFor([&] { return !windows.isViewable(*panel) || folded(windows, *panel); },
                        30000));
    pump(300);
    for (int step = 0; step < 3; ++step) {
        hand.key(XK_Return, true);
        hand.key(XK_Return, false);
        pump(400);
    }
    EXPECT_TRUE(waitFor([&] { return !windows.isViewable(*tutorial); }, 10000))
        << "the tutorial stayed open";
    EXPECT_TRUE(
        waitFor([&] { return windows.isViewable(*panel) && !folded(windows, *panel); }, 10000))
        << "finishing did not open the shelf";
    EXPECT_EQ(tarvo.terminate(), 0);
    UserDefaults defaults(home.file("config/Tarvo/Tarvo.conf"));
    EXPECT_TRUE(Preferences(defaults).hasCompletedOnboarding());

    // The next start shows no tutorial.
    TarvoProcess again(home);
    again.start();
    ASSERT_TRUE(waitFor([&] { return windows.panelOf(again.pid()).has_value(); }, 20000));
    pump(1000);
    EXPECT_FALSE(tutorialOf(windows, windows.root(), again.pid()));
    EXPECT_EQ(again.terminate(), 0);
}

} // namespace
} // namespace tarvo::test
