#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoShell/TarvoController.h"
#include "BatchConfirmWindow.h"
#include "AboutTab.h"
#include "GeneralTab.h"
#include "RulesTab.h"
#include "SettingsModel.h"
#include "SettingsWindow.h"
#include "shell/ShellFixture.h"
#include "support/ItemFactory.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace tarvo;

namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<Preferences> prefs;
    std::unique_ptr<RulesStore> rules;
    std::unique_ptr<ApplicationDirectory> apps;
    std::unique_ptr<SettingsModel> model;
    std::unique_ptr<SettingsWindowController> window;
    QStringList calls;

    void SetUp() override {
        dir.write(QStringLiteral("applications/firefox.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Firefox\nExec=true\n");
        open();
    }

    // A fresh process's view of the same files.
    void open() {
        window.reset();
        model.reset();
        defaults = std::make_unique<UserDefaults>(dir.file("config/Tarvo.conf"));
        prefs = std::make_unique<Preferences>(*defaults);
        // The store before finishes its writes before this one reads them.
        rules.reset();
        rules = std::make_unique<RulesStore>(dir.file("rules"));
        apps = std::make_unique<ApplicationDirectory>(QStringList{dir.file("applications")});
        ASSERT_TRUE(apps->refreshAndWait());
        model = std::make_unique<SettingsModel>(*prefs, *rules, apps.get());
        model->setOnPreferencesChanged([this] { calls << QStringLiteral("preferences"); });
        model->setRequestInputMonitoringPermission([this] { calls << QStringLiteral("hotkey"); });
        model->setOnRulesChanged([this] { calls << QStringLiteral("rules"); });
        window = std::make_unique<SettingsWindowController>(*model);
        window->show();
    }

    // On the box itself, not the empty end of its row.
    static void toggle(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    template <class T> T* find(const char* name) const {
        T* widget = window->window()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
};

TEST_F(SettingsWindowTest, FixedSizeTitledWindowThatHidesOnClose) {
    QWidget* w = window->window();
    EXPECT_EQ(w->size(), QSize(640, 480));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tarvo settings"));
    EXPECT_EQ(window->tabs()->count(), 4);
    window->tabs()->setCurrentIndex(3);
    EXPECT_EQ(model->selectedTab(), SettingsTab::about);
    w->close();
    EXPECT_FALSE(w->isVisible());
    window->show();
    EXPECT_EQ(window->tabs()->currentIndex(), 3);
    // The shell's rule request.
    model->setSelectedTab(SettingsTab::rules);
    EXPECT_EQ(window->tabs()->currentIndex(), 1);
}

// However the window was put away, the next "Settings…" brings it back.
TEST_F(SettingsWindowTest, OpensAgainAfterTheTitleBarsCloseOrMinimising) {
    QWidget* w = window->window();
    const struct {
        const char* how;
        std::function<void()> putAway;
    } cases[] = {
        {"closed by the window manager",
         [w] {
             QCloseEvent close;
             QCoreApplication::sendEvent(w->windowHandle(), &close);
         }},
        {"closed by the program", [w] { w->close(); }},
        {"minimised", [w] { w->setWindowState(Qt::WindowMinimized); }},
    };
    for (const auto& c : cases) {
        window->show();
        ASSERT_TRUE(w->isVisible()) << c.how;
        c.putAway();
        window->show();
        EXPECT_TRUE(w->isVisible()) << c.how;
        EXPECT_FALSE(w->isMinimized()) << c.how;
        for (int second = 0; second < 2; ++second) {
            c.putAway();
            window->show();
        }
        EXPECT_TRUE(w->isVisible() && !w->isMinimized()) << c.how << ", a third time";
    }
}

TEST_F(SettingsWindowTest, SwitchesWriteThroughAndReadBack) {
    const std::pair<const char*, bool (Preferences::*)() const> switches[] = {
        {"showWhenDragging", &Preferences::showTarvoWhenDragging},
        {"shakeToSummon", &Preferences::shakeToSummon},
        {"showMenuBarIcon", &Preferences::showMenuBarIcon},
        {"playSound", &Preferences::playSoundOnDrop},
        {"launchAtLogin", &Preferences::launchAtLogin},
        {"confirmBatch", &Preferences::confirmBatch},
        {"keepMetadata", &Preferences::keepImageMetadata},
        {"editorPaneDetection", &Preferences::editorPaneDetection},
    };
    for (const auto& [name, getter] : switches) {
        const bool before = (*prefs.*getter)();
        toggle(find<QCheckBox>(name));
        EXPECT_EQ((*prefs.*getter)(), !before) << name;
    }
    open();
    for (const auto& [name, getter] : switches)
        EXPECT_EQ(find<QCheckBox>(name)->isChecked(), (*prefs.*getter)()) << name;
    EXPECT_FALSE(prefs->showTarvoWhenDragging());
    EXPECT_FALSE(find<QCheckBox>("onlyWithShift")->isEnabled());
}

TEST_F(SettingsWindowTest, HotkeySwitchAndRecorder) {
    QCheckBox* enabled = find<QCheckBox>("hotkeyEnabled");
    QLabel* text = find<QLabel>("hotkeyText");
    EXPECT_EQ(text->text(), QStringLiteral("Alt+Space"));
    model->setHotkeyProblem(QStringLiteral("Alt+Space is taken"));
    EXPECT_TRUE(find<QLabel>("hotkeyProblem")->isVisible());
    toggle(enabled);
    EXPECT_FALSE(prefs->hotkeyEnabled());
    EXPECT_FALSE(find<QLabel>("hotkeyProblem")->isVisible());
    toggle(enabled);
    EXPECT_EQ(calls, (QStringList{"preferences", "hotkey", "preferences"}));

    auto* recorder = find<HotkeyRecorder>("hotkeyRecorder");
    QTest::mouseClick(recorder, Qt::LeftButton);
    ASSERT_TRUE(recorder->isRecording());
    QTest::keyClick(recorder, Qt::Key_5, Qt::ControlModifier); // no name: keeps listening
    QTest::keyClick(recorder, Qt::Key_K);                      // no modifier: keeps listening
    EXPECT_TRUE(recorder->isRecording());
    QTest::keyClick(recorder, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(prefs->hotkey(), (HotkeySpec{40, HotkeySpec::command | HotkeySpec::shift}));
    EXPECT_EQ(text->text(), QStringLiteral("Ctrl+Shift+K"));

    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, Qt::Key_Escape);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(text->text(), QStringLiteral("Ctrl+Shift+K"));
}

TEST_F(SettingsWindowTest, RulesTableAddRemoveAndReadBack) {
    rules->remove([&] {
        QSet<QUuid> all;
        for (const Rule& r : rules->rules())
            all.insert(r.id);
        return all;
    }());
    model->setSelectedTab(SettingsTab::rules);
    auto* table = find<QTableWidget>("rulesTable");
    model->addRule(); // the shell's list is the store's
    EXPECT_EQ(table->rowCount(), 1);
    EXPECT_FALSE(find<QLabel>("rulesEmpty")->isVisible());
    QTest::mouseClick(find<QToolButton>("addRule"), Qt::LeftButton);
    QTest::mouseClick(find<QToolButton>("addRule"), Qt::LeftButton);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("JPG"));
    EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("2000px, 85%"));
    EXPECT_FALSE(find<QToolButton>("removeRule")->isEnabled());
    table->selectRow(0);
    table->selectionModel()->select(table->model()->index(1, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::mouseClick(find<QToolButton>("removeRule"), Qt::LeftButton);
    EXPECT_EQ(table->rowCount(), 1);
    EXPECT_FALSE(find<QToolButton>("removeRule")->isEnabled());
    open();
    EXPECT_EQ(find<QTableWidget>("rulesTable")->rowCount(), 1);
}

TEST(RulesTabTest, OptionsText) {
    Rule rule = SettingsModel::newRule();
    EXPECT_EQ(RulesTab::options(rule), QStringLiteral("2000px, 85%"));
    ImageOptions options;
    options.maxPixels = std::nullopt;
    options.quality = 0.859;
    options.format = ImageFormat::png;
    rule.deliver = Delivery::image(options);
    rule.enabled = false;
    EXPECT_EQ(RulesTab::options(rule), QStringLiteral("85%, off"));
    EXPECT_EQ(RulesTab::deliverText(rule.deliver), QStringLiteral("PNG"));
    rule.deliver = Delivery::path();
    rule.enabled = true;
    EXPECT_EQ(RulesTab::options(rule), QString());
    rule.rename = QString();
    EXPECT_EQ(RulesTab::options(rule), QString());
    rule.rename = QStringLiteral("{name}");
    EXPECT_EQ(RulesTab::options(rule), QStringLiteral("{name}"));
}

TEST_F(SettingsWindowTest, EscapeClosesTheWindowButFirstEndsARecording) {
    QWidget* w = window->window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    EXPECT_EQ(find<QCheckBox>("hotkeyEnabled")->text(), QStringLiteral("On"));
    auto* recorder = find<HotkeyRecorder>("hotkeyRecorder");
    QTest::mouseClick(recorder, Qt::LeftButton);
    ASSERT_TRUE(recorder->isRecording());
    QTest::keyClick(recorder, Qt::Key_Escape);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(w->isVisible()) << "the recording's Escape";
    QTest::keyClick(recorder, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(SettingsWindowTest, AppsPinAndCategory) {
    model->setSelectedTab(SettingsTab::apps);
    QWidget* row = find<QWidget>("firefox");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->findChild<QComboBox*>(), nullptr);
    // Unpinned reads as any row, under a header that says what the switch is.
    EXPECT_EQ(row->findChild<QLabel*>(QStringLiteral("name"))->foregroundRole(),
              QPalette::WindowText);
    EXPECT_EQ(find<QLabel>("pinnedHeader")->text(), QStringLiteral("Pinned"));
    toggle(row->findChild<QCheckBox*>(QStringLiteral("pin")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rules->categories().isPinned("firefox"); }, 10000));
    QComboBox* category = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QWidget* again = window->window()->findChild<QWidget*>(QStringLiteral("firefox"));
            category = again ? again->findChild<QComboBox*>() : nullptr;
            return category != nullptr;
        },
        10000));
    EXPECT_EQ(category->currentIndex(), static_cast<int>(AppCategory::browser));
    const qint64 revision = model->revision();
    category->setCurrentIndex(static_cast<int>(AppCategory::design));
    Q_EMIT category->activated(static_cast<int>(AppCategory::design));
    EXPECT_EQ(model->revision(), revision);
    open();
    EXPECT_TRUE(rules->categories().isPinned("firefox"));
    EXPECT_EQ(model->category("firefox"), AppCategory::design);
}

TEST_F(SettingsWindowTest, AboutCountersAndOneUpdateCheckAtATime) {
    prefs->setDropCount(1234);
    int checks = 0;
    model->setCheckForUpdates([&] {
        ++checks;
        model->setUpdateCheckRunning(true);
        model->setUpdateStatus(QStringLiteral("Checking"));
    });
    model->setSelectedTab(SettingsTab::about);
    EXPECT_EQ(find<QLabel>("drops")->text(), QLocale().toString(qint64(1234)));
    EXPECT_FALSE(find<QLabel>("updateStatus")->isVisible());
    auto* check = find<QPushButton>("checkForUpdates");
    QTest::mouseClick(check, Qt::LeftButton);
    QTest::mouseClick(check, Qt::LeftButton);
    model->requestUpdateCheck();
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(find<QLabel>("updateStatus")->isVisible());
    model->setUpdateCheckRunning(false);
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_EQ(checks, 2);
}

} // namespace

namespace {

// The settings window beside a running shelf over the same preferences, all
// of its platform in memory: what a switch changes is seen on the shelf.
class SettingsShelfTest : public SettingsWindowTest {
protected:
    void SetUp() override {
        SettingsWindowTest::SetUp();
        ScreenMetrics screen;
        screen.frame = {0, 0, 1280, 800};
        m_shell.screens.screens.push_back(screen);
        controller =
            std::make_unique<TarvoController>(std::make_unique<ItemStore>(dir.file("Tarvo/Items")),
                                              std::make_unique<RulesStore>(dir.file("Tarvo")),
                                              *prefs, dir.file("work"), m_shell.platform());
        controller->start();
    }
    void TearDown() override { controller.reset(); }

    test::MemoryShell m_shell;
    std::unique_ptr<TarvoController> controller;
};

} // namespace

TEST_F(SettingsShelfTest, ShakeToSummonOpensTheShelfForADragItWouldNotOpenFor) {
    // Shift is required and not held: the drag alone opens nothing.
    prefs->setRequireShiftToShow(true);
    double t = 10;
    const auto dragAndShake = [&] {
        m_shell.input.setMouseLocation(QPointF(500, 400));
        m_shell.monitors.postGlobal({EventType::leftMouseDown, t});
        m_shell.dragPasteboard.declareTypes(QStringList{QString(TypeIdentifier::fileURL)});
        m_shell.monitors.postGlobal({EventType::leftMouseDragged, t});
        for (const double x : {560, 500, 560, 500, 560}) {
            m_shell.input.setMouseLocation(QPointF(x, 400));
            m_shell.monitors.postGlobal({EventType::leftMouseDragged, t += 0.08});
        }
        const TarvoState during = controller->state();
        m_shell.monitors.postGlobal({EventType::leftMouseUp, t += 0.1});
        m_shell.clock.advance(10);
        t += 10;
        return during;
    };
    ASSERT_FALSE(prefs->shakeToSummon());
    EXPECT_EQ(dragAndShake(), TarvoState::hidden);
    toggle(find<QCheckBox>("shakeToSummon"));
    EXPECT_EQ(dragAndShake(), TarvoState::dragging);
}

TEST_F(SettingsShelfTest, AskBeforeConvertingHoldsABatchUntilTheUserAnswers) {
    // Files dragged anywhere go out renamed: a batch to confirm.
    const Rule rename = test::makeRule(SourceType::anyFile, Destination::anywhere(),
                                       Delivery::original(), QStringLiteral("Report {n}"));
    ASSERT_TRUE(controller->rulesStore().add(rename));
    controller->rulesStore().move(rename.id, 0);
    controller->rulesDidChange();
    std::vector<QUuid> ids;
    for (const char* name : {"a.txt", "b.txt"}) {
        Item item = test::addFileItem(controller->store(), name, name, false, m_shell.clock.now());
        ids.push_back(item.id);
    }
    const auto firstFileRead = [&] {
        controller->openTarvo();
        controller->tarvoView(controller->view(), ids, QPointF(10, 10));
        MemoryDragSession* session = m_shell.drags.current();
        EXPECT_NE(session, nullptr);
        bool answered = false;
        if (session)
            session->requestData(0, QString(TypeIdentifier::fileURL), DataRequestPhase::drop,
                                 [&](std::optional<PasteboardData>) { answered = true; });
        QCoreApplication::processEvents();
        const bool asked = controller->batchWindow() && controller->batchWindow()->isVisible();
        // Nothing is handed out while the question is open.
        if (asked) {
            EXPECT_FALSE(answered);
        }
        if (asked)
            controller->batchWindow()->chooseOriginals();
        QDeadlineTimer deadline(20000);
        while (!answered && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_TRUE(answered);
        if (session)
            session->end(QPointF(1000, 200), DragOperation::none);
        QCoreApplication::processEvents();
        return std::pair{asked, answered};
    };
    ASSERT_TRUE(prefs->confirmBatch());
    EXPECT_TRUE(firstFileRead().first);
    toggle(find<QCheckBox>("confirmBatch"));
    EXPECT_FALSE(firstFileRead().first);
}
