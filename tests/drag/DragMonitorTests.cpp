#include "TarvoDrag/DragMonitor.h"

#include "TarvoCore/Preferences.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/memory/MemoryEventMonitors.h"
#include "TarvoPlatform/memory/MemoryInputState.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"

#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

const QStringList fileTypes{QString(TypeIdentifier::fileURL)};

// Counts how often the monitor looks at the drag pasteboard: one look per
// evaluation, plus one at each mouse up.
class CountingPasteboard final : public Pasteboard {
public:
    MemoryPasteboard inner;
    mutable int changeCountReads = 0;

    qint64 changeCount() const override {
        ++changeCountReads;
        return inner.changeCount();
    }
    void setChangeHandler(ChangeHandler handler) override {
        inner.setChangeHandler(std::move(handler));
    }
    std::optional<QStringList> types() const override { return inner.types(); }
    std::optional<QByteArray> data(const QString& type) const override {
        ADD_FAILURE() << "the monitor read data of " << type.toStdString();
        return inner.data(type);
    }
    std::optional<QString> string(const QString& type) const override {
        ADD_FAILURE() << "the monitor read a string of " << type.toStdString();
        return inner.string(type);
    }
    QList<QUrl> readURLs(bool fileURLsOnly) const override {
        ADD_FAILURE() << "the monitor read URLs";
        return inner.readURLs(fileURLsOnly);
    }
    std::vector<std::shared_ptr<FilePromiseReceiver>> readFilePromiseReceivers() const override {
        ADD_FAILURE() << "the monitor read promises";
        return {};
    }
};

struct RecordingDelegate final : DragMonitorDelegate {
    std::vector<QPointF> began;
    int ended = 0;
    void dragMonitor(DragMonitor&, QPointF at) override { began.push_back(at); }
    void dragMonitorDragEnded(DragMonitor&) override { ++ended; }
};

class DragMonitorTest : public ::testing::Test {
protected:
    DragMonitorTest()
        : m_defaults(m_dir.file("settings.ini")), m_preferences(m_defaults),
          m_monitor(std::make_unique<DragMonitor>(m_preferences, m_pasteboard, m_monitors, m_input,
                                                  m_clock)) {
        m_monitor->setDelegate(&m_delegate);
        m_input.setMouseLocation(QPointF(640, 790));
    }

    void down(double t) { m_monitors.postGlobal({EventType::leftMouseDown, t}); }
    void up(double t) { m_monitors.postGlobal({EventType::leftMouseUp, t}); }
    void dragged(double t) { m_monitors.postGlobal({EventType::leftMouseDragged, t}); }
    // Evaluations made by the dragged events of `times` alone.
    int evaluationsDuring(std::initializer_list<double> times) {
        const int before = m_pasteboard.changeCountReads;
        for (double t : times)
            dragged(t);
        return m_pasteboard.changeCountReads - before;
    }
    void startDrag(const QStringList& types) { m_pasteboard.inner.declareTypes(types); }
    // New content the monitor is not told of: only its own looks find it.
    void writeUnannounced() {
        m_pasteboard.inner.clearContents();
        m_pasteboard.inner.setURLs({QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt"))});
    }

    test::TempDir m_dir;
    UserDefaults m_defaults;
    Preferences m_preferences;
    CountingPasteboard m_pasteboard;
    MemoryEventMonitors m_monitors;
    MemoryInputState m_input;
    FakeClock m_clock;
    RecordingDelegate m_delegate;
    test::RecordingLogSink m_log;
    std::unique_ptr<DragMonitor> m_monitor;
};

TEST(DragMonitorDecision, FirstRuleThatAppliesWins) {
    struct Case {
        const char* name;
        qint64 changeCount;
        qint64 lastSeen;
        QStringList types;
        bool enabled;
        bool requireShift;
        bool shiftHeld;
        DragMonitor::Decision expected;
    };
    const QStringList text{QString(TypeIdentifier::utf8PlainText)};
    const QStringList foreign{QStringLiteral("com.example.private")};
    const std::vector<Case> cases{
        {"disabled, pasteboard unchanged", 4, 4, text, false, false, false, DragMonitor::disabled},
        {"disabled beats everything", 5, 4, foreign, false, true, false, DragMonitor::disabled},
        {"unchanged pasteboard", 4, 4, text, true, false, false, DragMonitor::notADrag},
        {"unchanged even with Shift missing", 4, 4, text, true, true, false, DragMonitor::notADrag},
        {"only foreign types", 5, 4, foreign, true, false, false, DragMonitor::unacceptableTypes},
        {"no types at all", 5, 4, {}, true, true, true, DragMonitor::unacceptableTypes},
        {"foreign types before Shift", 5, 4, foreign, true, true, false,
         DragMonitor::unacceptableTypes},
        {"Shift required, not held", 5, 4, text, true, true, false, DragMonitor::shiftRequired},
        {"Shift required and held", 5, 4, text, true, true, true, DragMonitor::show},
        {"accepted type among others", 9, 4, foreign + fileTypes, true, false, false,
         DragMonitor::show},
        {"count went down", 3, 4, text, true, false, false, DragMonitor::show},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DragMonitor::decide(c.changeCount, c.lastSeen, c.types, c.enabled, c.requireShift,
                                      c.shiftHeld),
                  c.expected);
    }
}

TEST(DragMonitorDecision, OnlyNotADragLeavesTheGestureOpen) {
    EXPECT_FALSE(DragMonitor::notADrag.final);
    for (const auto* d : {&DragMonitor::unacceptableTypes, &DragMonitor::shiftRequired,
                          &DragMonitor::disabled, &DragMonitor::show}) {
        EXPECT_TRUE(d->final) << d->reason.toStdString();
        EXPECT_EQ(d->show, d == &DragMonitor::show) << d->reason.toStdString();
    }
}

TEST(DragMonitorDecision, EvaluationsAreSpacedByTheRecheckInterval) {
    struct Case {
        double now;
        double lastCheckAt;
        bool expected;
    };
    const std::vector<Case> cases{
        {5.0, -1, true},   {0.0, -1, true},   {0.0795, 0.0, true}, {0.0794, 0.0, false},
        {0.08, 0.0, true}, {0.0, 0.0, false}, {12.5, 12.0, true},  {12.05, 12.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.now << " after " << c.lastCheckAt);
        EXPECT_EQ(DragMonitor::shouldEvaluate(c.now, c.lastCheckAt), c.expected);
    }
}

TEST_F(DragMonitorTest, GestureThatNeverWritesThePasteboardIsNeverADrag) {
    m_monitor->start();
    m_log.clear();
    down(10.0);
    // Evaluated at 10.0 (first event), 10.0795 and 10.2; the others fall
    // inside the interval.
    EXPECT_EQ(evaluationsDuring({10.0, 10.03, 10.0795, 10.1, 10.15, 10.2}), 3);
    EXPECT_TRUE(m_delegate.began.empty());
    EXPECT_TRUE(m_log.lines().empty());
    EXPECT_EQ(m_monitor->draggedEventsSeen(), 6);

    // The pasteboard written later in the same gesture is seen as soon as it
    // is written, not at the next due evaluation.
    startDrag(fileTypes);
    ASSERT_EQ(m_delegate.began.size(), 1u);
    EXPECT_EQ(m_delegate.began.front(), QPointF(640, 790));
}

TEST_F(DragMonitorTest, ADragIsSeenWhenItsSourceTakesThePasteboardWhileThePointerRests) {
    m_monitor->start();
    down(1.0);
    dragged(1.0); // the pointer passes the source's threshold, then rests
    EXPECT_TRUE(m_delegate.began.empty());
    m_log.clear();
    startDrag(fileTypes);
    ASSERT_EQ(m_delegate.began.size(), 1u);
    EXPECT_EQ(m_log.lines().front(),
              "drag debug: drag decided after 1 move(s): a real drag with content Tarvo accepts");
    // Once per gesture.
    startDrag(fileTypes);
    EXPECT_EQ(m_delegate.began.size(), 1u);
    up(1.5);
    EXPECT_EQ(m_delegate.ended, 1);

    // Without the button held, new content is no drag of the user's.
    startDrag(fileTypes);
    EXPECT_EQ(m_delegate.began.size(), 1u);
    // Nor after the monitor stopped.
    down(2.0);
    m_monitor->stop();
    startDrag(fileTypes);
    EXPECT_EQ(m_delegate.began.size(), 1u);
}

TEST_F(DragMonitorTest, ShownDragBeginsOnceAndEndsOnceAtMouseUp) {
    m_monitor->start();
    down(1.0);
    m_log.clear();
    startDrag(fileTypes); // decided as the source takes the pasteboard
    dragged(1.01);
    EXPECT_EQ(evaluationsDuring({1.1, 1.2, 1.5, 3.0}), 0); // decided: dragged events only count
    EXPECT_EQ(m_delegate.began.size(), 1u);
    EXPECT_TRUE(m_monitor->isDragActive());
    EXPECT_EQ(m_monitor->draggedEventsSeen(), 5);
    EXPECT_EQ(
        m_log.lines(),
        (std::vector<QString>{
            "drag debug: drag decided after 0 move(s): a real drag with content Tarvo accepts",
            "drag notice: tarvo shown in 0.0 ms"}));

    up(3.1);
    up(3.2);
    EXPECT_EQ(m_delegate.began.size(), 1u);
    EXPECT_EQ(m_delegate.ended, 1);
    EXPECT_FALSE(m_monitor->isDragActive());
    EXPECT_EQ(m_monitor->draggedEventsSeen(), 0);
}

TEST_F(DragMonitorTest, DelegateCallIsTimedOnTheMonotonicClock) {
    m_clock.setMonotonicStep(2345678); // 2.345678 ms between two readings
    m_monitor->start();
    down(1.0);
    m_log.clear();
    startDrag(fileTypes);
    ASSERT_FALSE(m_log.lines().empty());
    EXPECT_EQ(m_log.lines().back(), "drag notice: tarvo shown in 2.3 ms");
}

TEST_F(DragMonitorTest, NextGestureCountsOnlyWhenThePasteboardChangesAgain) {
    m_monitor->start();
    down(1.0);
    startDrag(fileTypes);
    dragged(1.1);
    up(1.5);
    ASSERT_EQ(m_delegate.began.size(), 1u);

    // A window move afterwards: the old drag's content is not new.
    down(2.0);
    dragged(2.1);
    dragged(2.3);
    up(2.5);
    EXPECT_EQ(m_delegate.began.size(), 1u);

    down(3.0);
    startDrag(fileTypes);
    dragged(3.1);
    EXPECT_EQ(m_delegate.began.size(), 2u);
}

TEST_F(DragMonitorTest, ChangeSeenAtMouseUpIsNotANewDrag) {
    m_monitor->start();
    down(1.0);
    writeUnannounced(); // and the gesture ended before any evaluation
    up(1.2);
    down(2.0);
    dragged(2.1);
    EXPECT_TRUE(m_delegate.began.empty());
}

TEST_F(DragMonitorTest, DragWrittenBeforeTheMonitorExistedIsNotNew) {
    m_monitor.reset();
    startDrag(fileTypes);
    m_monitor =
        std::make_unique<DragMonitor>(m_preferences, m_pasteboard, m_monitors, m_input, m_clock);
    m_monitor->setDelegate(&m_delegate);
    m_monitor->start();
    down(1.0);
    dragged(1.1);
    EXPECT_TRUE(m_delegate.began.empty());
}

TEST_F(DragMonitorTest, FinalRefusalsHoldForTheRestOfTheGesture) {
    struct Case {
        const char* name;
        bool showWhenDragging;
        bool requireShift;
        QStringList types;
        bool writePasteboard;
        const char* logged;
    };
    const std::vector<Case> cases{
        {"showing on drag off, pasteboard unchanged", false, false, fileTypes, false,
         "drag debug: drag decided after 1 move(s): showing on drag is off"},
        {"showing on drag off", false, false, fileTypes, true,
         "drag debug: drag decided after 1 move(s): showing on drag is off"},
        {"Shift not held", true, true, fileTypes, true,
         "drag debug: drag decided after 1 move(s): Shift is not held"},
        {"only foreign types",
         true,
         false,
         {QStringLiteral("com.example.private")},
         true,
         "drag debug: drag decided after 1 move(s): no type Tarvo accepts"},
    };
    m_monitor->start();
    double t = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_preferences.setShowTarvoWhenDragging(c.showWhenDragging);
        m_preferences.setRequireShiftToShow(c.requireShift);
        m_input.setModifierFlags(0);
        down(t);
        m_log.clear();
        EXPECT_EQ(evaluationsDuring({t + 0.1}), 1);
        // Written after the first move, as sources do past their threshold.
        if (c.writePasteboard)
            startDrag(c.types);
        EXPECT_EQ(m_log.lines(), std::vector<QString>{c.logged});
        // Shift pressed late, and showing switched on late, change nothing.
        m_input.setModifierFlags(ModifierFlag::shift);
        m_preferences.setShowTarvoWhenDragging(true);
        EXPECT_EQ(evaluationsDuring({t + 0.3, t + 0.5, t + 1.0}), 0);
        up(t + 1.1);
        EXPECT_TRUE(m_delegate.began.empty());
        EXPECT_EQ(m_delegate.ended, 0);
        t += 10;
    }
}

TEST_F(DragMonitorTest, ShiftRequiredGestureIsJudgedAfreshNextTime) {
    m_preferences.setRequireShiftToShow(true);
    m_monitor->start();
    down(1.0);
    startDrag(fileTypes);
    dragged(1.1);
    m_input.setModifierFlags(ModifierFlag::shift);
    dragged(1.5);
    up(1.6);
    EXPECT_TRUE(m_delegate.began.empty());

    down(2.0);
    startDrag(fileTypes);
    dragged(2.1);
    EXPECT_EQ(m_delegate.began.size(), 1u);
}

TEST_F(DragMonitorTest, ShiftIsReadFromTheKeyboardNowAmongOtherModifiers) {
    m_preferences.setRequireShiftToShow(true);
    m_input.setModifierFlags(ModifierFlag::shift | ModifierFlag::command);
    m_monitor->start();
    down(1.0);
    startDrag(fileTypes);
    dragged(1.1);
    EXPECT_EQ(m_delegate.began.size(), 1u);
}

TEST_F(DragMonitorTest, MouseDownEndsAShownDragButDoesNotReadTheChangeCount) {
    m_monitor->start();
    down(1.0);
    startDrag(fileTypes);
    dragged(1.1);
    const int reads = m_pasteboard.changeCountReads;
    down(2.0); // the up was never seen
    EXPECT_EQ(m_delegate.ended, 1);
    EXPECT_FALSE(m_monitor->isDragActive());
    EXPECT_EQ(m_pasteboard.changeCountReads, reads);
}

TEST_F(DragMonitorTest, LocalEventsAreHandledLikeGlobalOnes) {
    m_monitor->start();
    m_monitors.postLocal({EventType::leftMouseDown, 1.0});
    startDrag(fileTypes);
    m_monitors.postLocal({EventType::leftMouseDragged, 1.1});
    m_monitors.postLocal({EventType::leftMouseUp, 1.2});
    EXPECT_EQ(m_delegate.began.size(), 1u);
    EXPECT_EQ(m_delegate.ended, 1);
}

TEST_F(DragMonitorTest, OtherEventsAreIgnored) {
    m_monitor->start();
    down(1.0);
    writeUnannounced();
    for (EventType type : {EventType::mouseMoved, EventType::rightMouseDragged})
        m_monitor->handle({type, 1.1});
    EXPECT_TRUE(m_delegate.began.empty());
    EXPECT_EQ(m_monitor->draggedEventsSeen(), 0);
}

TEST_F(DragMonitorTest, StartTwiceInstallsOnceAndStopDropsTheDragSilently) {
    m_log.clear();
    m_monitor->start();
    m_monitor->start();
    EXPECT_EQ(m_monitors.globalCount(), 1u);
    EXPECT_EQ(m_monitors.localCount(), 1u);
    EXPECT_EQ(m_log.lines(), std::vector<QString>{"drag notice: drag monitor installed"});

    down(1.0);
    startDrag(fileTypes);
    dragged(1.1);
    ASSERT_TRUE(m_monitor->isDragActive());
    m_monitor->stop();
    EXPECT_FALSE(m_monitor->isDragActive());
    EXPECT_EQ(m_monitors.globalCount() + m_monitors.localCount(), 0u);
    up(1.5);
    EXPECT_EQ(m_delegate.ended, 0);

    m_monitor->start();
    EXPECT_EQ(m_monitors.globalCount(), 1u);
    down(2.0);
    startDrag(fileTypes);
    dragged(2.1);
    EXPECT_EQ(m_delegate.began.size(), 2u);
}

TEST_F(DragMonitorTest, RefusedGlobalMonitorIsTriedAgainAtTheNextStart) {
    m_monitors.refuseInstalls(true);
    m_monitor->start();
    EXPECT_EQ(m_monitors.globalCount(), 0u);
    m_monitors.refuseInstalls(false);
    m_monitor->start();
    EXPECT_EQ(m_monitors.globalCount(), 1u);
}

TEST_F(DragMonitorTest, MonitorsGoWithTheMonitor) {
    m_monitor->start();
    m_monitor.reset();
    EXPECT_EQ(m_monitors.globalCount() + m_monitors.localCount(), 0u);
    down(1.0); // reaches nothing
}

TEST_F(DragMonitorTest, WorksWithoutADelegate) {
    m_monitor->setDelegate(nullptr);
    m_monitor->start();
    down(1.0);
    startDrag(fileTypes);
    dragged(1.1);
    EXPECT_TRUE(m_monitor->isDragActive());
    up(1.2);
    EXPECT_FALSE(m_monitor->isDragActive());
}

} // namespace

namespace {

// Pointer positions along x, one every `step` seconds from `start`.
struct Path {
    std::vector<double> xs;
    double step;
};

} // namespace

TEST_F(DragMonitorTest, ShakingADragTheShelfWasNotToOpenForSummonsIt) {
    struct Case {
        const char* name;
        bool shakeToSummon;
        bool showWhenDragging;
        bool requireShift;
        QStringList types;
        Path path;
        bool summoned;
    };
    // Three reversals of 60 points, 80 ms apart.
    const Path shake{{500, 560, 500, 560, 500, 560}, 0.08};
    const std::vector<Case> cases{
        {"Shift required and not held", true, true, true, fileTypes, shake, true},
        {"opening on drag off", true, false, false, fileTypes, shake, true},
        {"summoning by shaking off", false, true, true, fileTypes, shake, false},
        {"content the shelf cannot take", true, true, true, {"com.example.private"}, shake, false},
        {"reversals of 30 points", true, true, true, fileTypes,
         Path{{500, 530, 500, 530, 500, 530}, 0.08}, false},
        {"two reversals only", true, true, true, fileTypes, Path{{500, 560, 500, 560}, 0.08},
         false},
        {"three reversals over a second", true, true, true, fileTypes,
         Path{{500, 560, 500, 560, 500, 560}, 0.3}, false},
        {"a steady move to the right", true, true, true, fileTypes,
         Path{{500, 560, 620, 680, 740, 800}, 0.08}, false},
    };
    double t = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_preferences.setShakeToSummon(c.shakeToSummon);
        m_preferences.setShowTarvoWhenDragging(c.showWhenDragging);
        m_preferences.setRequireShiftToShow(c.requireShift);
        m_monitor->start();
        m_delegate.began.clear();
        m_input.setMouseLocation(QPointF(500, 700));
        down(t);
        startDrag(c.types);
        dragged(t);
        ASSERT_TRUE(m_delegate.began.empty());
        for (const double x : c.path.xs) {
            t += c.path.step;
            m_input.setMouseLocation(QPointF(x, 700));
            dragged(t);
        }
        EXPECT_EQ(m_delegate.began.size(), c.summoned ? 1u : 0u);
        // Once summoned, further shaking opens nothing more.
        if (c.summoned) {
            for (const double x : shake.xs) {
                t += shake.step;
                m_input.setMouseLocation(QPointF(x, 700));
                dragged(t);
            }
            EXPECT_EQ(m_delegate.began.size(), 1u);
        }
        up(t += 0.1);
        EXPECT_EQ(m_monitor->isDragActive(), false);
        t += 5;
    }
}
