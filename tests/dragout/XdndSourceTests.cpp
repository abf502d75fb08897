#include "TarvoPlatform/x11/XdndSource.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

using namespace tarvo;

namespace {

using Action = XdndSource::Action;
using Target = XdndSource::Target;

// Writes down what would go out on the wire.
class RecordingWire final : public XdndSource::Wire {
public:
    void publishTypes(const QByteArrayList& types) override {
        log << "types " + QString::fromUtf8(types.join(','));
    }
    void sendEnter(const Target& target, int version, const QByteArrayList& types) override {
        log << QStringLiteral("enter %1 v%2 %3")
                   .arg(target.window)
                   .arg(version)
                   .arg(QString::fromUtf8(types.join(',')));
    }
    void sendPosition(const Target& target, QPoint root, quint32 time, Action action) override {
        log << QStringLiteral("position %1 %2,%3 t%4 %5")
                   .arg(target.window)
                   .arg(root.x())
                   .arg(root.y())
                   .arg(time)
                   .arg(action == Action::move ? "move" : "copy");
    }
    void sendLeave(const Target& target) override {
        log << QStringLiteral("leave %1").arg(target.window);
    }
    void sendDrop(const Target& target, quint32 time) override {
        log << QStringLiteral("drop %1 t%2").arg(target.window).arg(time);
    }
    QStringList log;
};

class XdndSourceTest : public ::testing::Test {
protected:
    XdndSourceTest()
        : source(wire, [this](DragOperation operation) { ended.push_back(operation); }) {}

    void move(std::optional<Target> target, int x, quint32 time, qint64 generation = 1,
              Action action = Action::copy) {
        source.moved(target, QPoint(x, 5), time, action, generation,
                     generation == 1 ? QByteArrayList{"a", "b"}
                                     : QByteArrayList{"c", "d", "e", "f"});
    }
    QStringList take() {
        QStringList log = wire.log;
        wire.log.clear();
        return log;
    }

    const Target a{11, 11, 5};
    const Target b{22, 33, 5}; // speaks through a proxy; messages name the window
    RecordingWire wire;
    XdndSource source;
    std::vector<DragOperation> ended;
};

TEST_F(XdndSourceTest, ADropOnATargetThatAccepts) {
    move(a, 1, 10);
    EXPECT_EQ(take(), (QStringList{"types a,b", "enter 11 v5 a,b", "position 11 1,5 t10 copy"}));
    source.statusReceived(11, true, Action::copy);
    source.released(12);
    EXPECT_EQ(take(), QStringList{"drop 11 t12"});
    EXPECT_TRUE(ended.empty());
    source.finishedReceived(11, true, Action::copy);
    EXPECT_EQ(ended, std::vector<DragOperation>{DragOperation::copy});
    EXPECT_EQ(source.state(), XdndSource::State::ended);
}

TEST_F(XdndSourceTest, OnePositionInFlightAndOnlyTheLatestFollows) {
    move(a, 1, 10);
    move(a, 2, 11);
    move(a, 3, 12);
    EXPECT_EQ(take().last(), "position 11 1,5 t10 copy");
    EXPECT_TRUE(source.positionInFlight());
    source.statusReceived(11, true, Action::copy);
    EXPECT_EQ(take(), QStringList{"position 11 3,5 t12 copy"});
    source.statusReceived(11, true, Action::copy);
    EXPECT_TRUE(take().isEmpty());
}

TEST_F(XdndSourceTest, TheDropWaitsForTheLastStatus) {
    move(a, 1, 10);
    take();
    source.released(13);
    EXPECT_EQ(source.state(), XdndSource::State::dropWaitsForStatus);
    EXPECT_TRUE(take().isEmpty());
    source.statusReceived(11, true, Action::move);
    EXPECT_EQ(take(), QStringList{"drop 11 t13"});
    source.finishedReceived(11, true, std::nullopt);
    EXPECT_EQ(ended, std::vector<DragOperation>{DragOperation::move});
}

TEST_F(XdndSourceTest, ReleasesThatTakeNothing) {
    struct Case {
        const char* name;
        std::optional<Target> target;
        std::optional<bool> accepted; // the status before the release, if any
        QStringList expected;
    };
    const std::vector<Case> cases{
        {"over nothing", std::nullopt, std::nullopt, {}},
        {"a target that refused", a, false, {"leave 11"}},
        {"a status that never came, then patience ran out", a, std::nullopt, {"leave 11"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingWire fresh;
        std::vector<DragOperation> result;
        XdndSource drag(fresh, [&](DragOperation operation) { result.push_back(operation); });
        drag.moved(c.target, QPoint(1, 1), 1, Action::copy, 1, {"a"});
        if (c.accepted)
            drag.statusReceived(11, *c.accepted, Action::copy);
        fresh.log.clear();
        drag.released(2);
        if (!c.accepted && c.target)
            drag.timedOut();
        EXPECT_EQ(fresh.log, c.expected);
        EXPECT_EQ(result, std::vector<DragOperation>{DragOperation::none});
    }
}

TEST_F(XdndSourceTest, ATargetIsLeftBeforeItIsToldAChangedList) {
    move(a, 1, 10);
    source.statusReceived(11, true, Action::copy);
    take();
    move(a, 2, 11, 2);
    EXPECT_EQ(take(), (QStringList{"leave 11", "types c,d,e,f", "enter 11 v5 c,d,e,f",
                                   "position 11 2,5 t11 copy"}));
    // The status of the old list counts no more.
    EXPECT_FALSE(source.accepted());
}

TEST_F(XdndSourceTest, MovingToAnotherTargetLeavesTheFirst) {
    move(a, 1, 10);
    take();
    move(b, 2, 11);
    EXPECT_EQ(take(), (QStringList{"leave 11", "types a,b", "enter 22 v5 a,b",
                                   "position 22 2,5 t11 copy"}));
    // A status from the target left behind changes nothing.
    source.statusReceived(11, true, Action::copy);
    EXPECT_FALSE(source.accepted());
    move(std::nullopt, 3, 12);
    EXPECT_EQ(take(), QStringList{"leave 22"});
}

TEST_F(XdndSourceTest, ProtocolVersions) {
    struct Case {
        int targetVersion;
        QString expected;
    };
    const std::vector<Case> cases{
        {2, ""}, {3, "enter 11 v3 a,b"}, {5, "enter 11 v5 a,b"}, {7, "enter 11 v5 a,b"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.targetVersion);
        RecordingWire fresh;
        XdndSource drag(fresh, [](DragOperation) {});
        drag.moved(Target{11, 11, c.targetVersion}, QPoint(), 1, Action::copy, 1, {"a", "b"});
        EXPECT_EQ(fresh.log.size() > 1 ? fresh.log[1] : QString(), c.expected);
    }
}

TEST_F(XdndSourceTest, WhatTheFinishSays) {
    struct Case {
        const char* name;
        int version;
        bool accepted;
        std::optional<Action> action;
        DragOperation expected;
    };
    const std::vector<Case> cases{
        {"refused", 5, false, std::nullopt, DragOperation::none},
        {"moved", 5, true, Action::move, DragOperation::move},
        {"linked", 5, true, Action::link, DragOperation::link},
        {"version 4 keeps the accepted action", 4, false, std::nullopt, DragOperation::move},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingWire fresh;
        std::vector<DragOperation> result;
        XdndSource drag(fresh, [&](DragOperation operation) { result.push_back(operation); });
        drag.moved(Target{11, 11, c.version}, QPoint(), 1, Action::move, 1, {"a"});
        drag.statusReceived(11, true, Action::move);
        drag.released(2);
        drag.finishedReceived(99, true, Action::copy); // not the target: ignored
        drag.finishedReceived(11, c.accepted, c.action);
        EXPECT_EQ(result, std::vector<DragOperation>{c.expected});
    }
}

TEST_F(XdndSourceTest, EscapeLeavesTheTargetButNotAfterTheDrop) {
    move(a, 1, 10);
    source.statusReceived(11, true, Action::copy);
    take();
    source.cancel();
    EXPECT_EQ(take(), QStringList{"leave 11"});
    EXPECT_EQ(ended, std::vector<DragOperation>{DragOperation::none});

    RecordingWire fresh;
    std::vector<DragOperation> result;
    XdndSource dropped(fresh, [&](DragOperation operation) { result.push_back(operation); });
    dropped.moved(a, QPoint(), 1, Action::copy, 1, {"a"});
    dropped.statusReceived(11, true, Action::copy);
    dropped.released(2);
    fresh.log.clear();
    dropped.cancel();
    EXPECT_TRUE(fresh.log.isEmpty());
    EXPECT_EQ(result, std::vector<DragOperation>{DragOperation::none});
}

TEST_F(XdndSourceTest, ADropNeverFinishedKeepsWhatTheTargetAccepted) {
    move(a, 1, 10);
    source.statusReceived(11, true, Action::copy);
    source.released(12);
    source.timedOut();
    EXPECT_EQ(ended, std::vector<DragOperation>{DragOperation::copy});
}

} // namespace
