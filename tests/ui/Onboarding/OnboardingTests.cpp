#include "TarvoCore/L10n.h"
#include "GeneralTab.h"
#include "OnboardingArt.h"
#include "OnboardingModel.h"
#include "OnboardingView.h"
#include "OnboardingWindow.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace tarvo;

namespace {

using Step = OnboardingModel::Step;

TEST(OnboardingModelTest, StepsForwardAndBackAndFinishOnceAtTheEnd) {
    OnboardingModel model;
    int finished = 0;
    model.back();
    EXPECT_EQ(model.step(), Step::welcome);
    EXPECT_TRUE(model.isFirst());
    model.next(); // no finish set yet: nothing happens on the way
    model.next();
    model.next();
    EXPECT_EQ(model.step(), Step::open);
    EXPECT_TRUE(model.isLast());
    model.next(); // no finish set: nothing
    EXPECT_EQ(model.step(), Step::open);
    model.setOnFinish([&] { ++finished; });
    model.next();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(model.step(), Step::open);
    model.back();
    EXPECT_EQ(model.step(), Step::route);
    model.finish();
    EXPECT_EQ(finished, 2);

    EXPECT_EQ(OnboardingModel::step(2), std::optional<Step>(Step::route));
    EXPECT_EQ(OnboardingModel::step(4), std::nullopt);
    EXPECT_EQ(OnboardingModel::step(-1), std::nullopt);
}

TEST(OnboardingModelTest, OnlyRealChangesNotify) {
    OnboardingModel model;
    QSignalSpy steps(&model, &OnboardingModel::stepChanged);
    QSignalSpy landed(&model, &OnboardingModel::sampleLandedChanged);
    QSignalSpy finishes(&model, &OnboardingModel::onFinishChanged);
    model.setStep(Step::welcome);
    model.setSampleLanded(true);
    model.setSampleLanded(true);
    model.setOnFinish({});
    model.setOnFinish({});
    EXPECT_EQ(steps.count(), 0);
    EXPECT_EQ(landed.count(), 1);
    EXPECT_EQ(finishes.count(), 2);
}

class OnboardingWindowTest : public ::testing::Test {
protected:
    OnboardingModel model;
    std::unique_ptr<OnboardingWindowController> window =
        std::make_unique<OnboardingWindowController>(model);

    template <class T> T* find(const char* name) const {
        T* widget = window->window()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString title() const { return find<QLabel>("title")->text(); }
    QString body() const { return find<QLabel>("body")->text(); }
};

TEST_F(OnboardingWindowTest, AFramedFixedWindowThatItsOwnFinishCloses) {
    QWidget* w = window->window();
    // The window manager's frame moves it.
    EXPECT_FALSE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowTitleHint);
    EXPECT_EQ(w->minimumSize(), QSize(600, 480));
    EXPECT_EQ(w->maximumSize(), QSize(600, 480));
    window->show();
    EXPECT_TRUE(w->isVisible());
    model.finish();
    EXPECT_FALSE(w->isVisible());

    // Once the window is gone, the default finish does nothing.
    window.reset();
    model.finish();
}

TEST_F(OnboardingWindowTest, TheButtonsAndReturnWalkTheSteps) {
    int finished = 0;
    model.setOnFinish([&] { ++finished; });
    window->show();
    auto* back = find<QPushButton>("back");
    auto* primary = find<QPushButton>("primary");
    auto* skip = find<QPushButton>("skip");

    struct Expected {
        Step step;
        QString title;
        QString primary;
        bool back;
        bool skip;
    };
    const Expected steps[] = {
        {Step::welcome, L10n::onboarding1Title(), L10n::onboardingGetStarted(), false, true},
        {Step::tryIt, L10n::onboarding2Title(), L10n::onboardingContinue(), true, true},
        {Step::route, L10n::onboarding3Title(), L10n::onboardingContinue(), true, true},
        {Step::open, L10n::onboarding4Title(), L10n::onboardingStart(), true, false},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Expected& e = steps[i];
        SCOPED_TRACE(static_cast<int>(e.step));
        ASSERT_EQ(model.step(), e.step);
        EXPECT_EQ(title(), e.title);
        EXPECT_EQ(primary->text(), e.primary);
        EXPECT_EQ(back->isVisible(), e.back);
        EXPECT_EQ(skip->isVisible(), e.skip);
        if (i + 1 < std::size(steps)) {
            // Return and the button do the same.
            if (i % 2 == 0)
                QTest::keyClick(window->view(), Qt::Key_Return);
            else
                QTest::mouseClick(primary, Qt::LeftButton);
        }
    }
    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_EQ(model.step(), Step::route);
    QTest::mouseClick(skip, Qt::LeftButton);
    EXPECT_EQ(finished, 1);
    QTest::mouseClick(primary, Qt::LeftButton);
    EXPECT_EQ(model.step(), Step::open);
    EXPECT_EQ(finished, 1);
    QTest::keyClick(window->view(), Qt::Key_Return);
    EXPECT_EQ(finished, 2);
}

TEST_F(OnboardingWindowTest, ArrowsTurnThePagesAndTabReachesEveryButton) {
    window->show();
    QWidget* view = window->view();
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(model.step(), Step::tryIt);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(model.step(), Step::open) << "the last page ends by its button only";
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(model.step(), Step::route);
    for (const char* name : {"back", "primary", "skip"})
        EXPECT_TRUE(find<QPushButton>(name)->focusPolicy() & Qt::TabFocus) << name;
    // Return presses the button that has the focus.
    find<QPushButton>("back")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(find<QPushButton>("back"), Qt::Key_Return);
    EXPECT_EQ(model.step(), Step::tryIt);
}

TEST_F(OnboardingWindowTest, TheTitleIsInTheDesktopsFamilyAndTheFirstTwoPicturesDiffer) {
    EXPECT_EQ(find<QLabel>("title")->font().family(), QApplication::font().family());
    auto* stage = find<QWidget>("stage");
    const QImage welcome = stage->grab().toImage();
    model.next();
    const QImage tryIt = stage->grab().toImage();
    EXPECT_NE(welcome, tryIt);
}

TEST_F(OnboardingWindowTest, ATakenShortcutIsShownWithARecorderOnTheLastPage) {
    int recorded = 0;
    model.onShortcutRecorded = [&](const HotkeySpec& spec) {
        ++recorded;
        EXPECT_EQ(spec, (HotkeySpec{40, HotkeySpec::command | HotkeySpec::shift}));
    };
    window->show();
    auto* row = find<QWidget>("shortcutTaken");
    model.setShortcutProblem(QStringLiteral("Alt+Space opens the window menu of Openbox."));
    EXPECT_FALSE(row->isVisible()) << "only on the last page";
    model.setStep(Step::open);
    EXPECT_TRUE(row->isVisible());
    EXPECT_EQ(find<QLabel>("shortcutProblem")->text(),
              QStringLiteral("Alt+Space opens the window menu of Openbox."));
    EXPECT_TRUE(
        OnboardingStage::paintedTexts(model).contains(QStringLiteral("Taken: choose another")));
    auto* recorder = find<HotkeyRecorder>("hotkeyRecorder");
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(recorded, 1);
    model.setShortcutProblem({});
    EXPECT_FALSE(row->isVisible());
    EXPECT_TRUE(OnboardingStage::paintedTexts(model).contains(QStringLiteral("Toggle the shelf")));
}

TEST_F(OnboardingWindowTest, TheSampleCanBeDraggedOnTheSecondStepAndFadesOnceLanded) {
    window->show();
    OnboardingStage* stage = window->view()->stage();
    EXPECT_FALSE(stage->sampleDraggable());
    EXPECT_EQ(stage->sampleOpacity(), 1.0);
    model.setSampleLanded(true); // not the step that offers it: no fading
    EXPECT_EQ(stage->sampleOpacity(), 1.0);
    model.setSampleLanded(false);

    model.next();
    EXPECT_TRUE(stage->sampleDraggable());
    EXPECT_EQ(stage->sampleOpacity(), 1.0);
    EXPECT_EQ(body(), L10n::onboarding2Body());
    EXPECT_EQ(stage->accessibleName(), L10n::onboarding2Body());
    EXPECT_TRUE(stage->rect().contains(stage->sampleRect()));
    model.setSampleLanded(true);
    EXPECT_TRUE(stage->sampleDraggable());
    EXPECT_EQ(stage->sampleOpacity(), 0.25);
    EXPECT_EQ(title(), L10n::onboarding2Landed());
    EXPECT_EQ(body(), L10n::onboarding2LandedBody());
    model.next();
    EXPECT_FALSE(stage->sampleDraggable());
}

TEST(OnboardingSampleTest, TheSampleIsTheTileAsAPngInTheUsersOwnFolder) {
    test::TempDir dir;
    const QString path = OnboardingSample::writeInto(dir.path());
    ASSERT_EQ(path, dir.file("Tarvo sample.png"));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    EXPECT_EQ(image.size(), QSize(512, 512));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "the tile's corner is round";
    EXPECT_EQ(qAlpha(image.pixel(256, 256)), 255);

    // Over an existing sample, and into a folder that is not there.
    EXPECT_EQ(OnboardingSample::writeInto(dir.path()), path);
    EXPECT_EQ(OnboardingSample::writeInto(dir.file("missing/folder")), QString());

    // The process's sample lives in the per-user runtime folder.
    QDir().mkpath(dir.file("runtime"));
    QFile::setPermissions(dir.file("runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.file("runtime")));
    EXPECT_EQ(OnboardingSample::filePath(), dir.file("runtime/Tarvo/Tarvo sample.png"));
    EXPECT_TRUE(QFile::exists(OnboardingSample::filePath()));
}

} // namespace
