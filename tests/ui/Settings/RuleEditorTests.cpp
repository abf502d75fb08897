#include "TarvoCore/L10n.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "RuleEditorSheet.h"
#include "RulesTab.h"
#include "SettingsModel.h"
#include "SettingsWindow.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace tarvo;

namespace {

using Kind = RuleEditorSheet::DeliveryKind;

ImageOptions imageOptions(ImageFormat format, std::optional<qint64> maxPixels, double quality,
                          bool stripLocation) {
    ImageOptions options;
    options.format = format;
    options.maxPixels = maxPixels;
    options.quality = quality;
    options.stripLocation = stripLocation;
    return options;
}

TEST(RuleEditorKinds, AKindKeepsTheImageOptionsOnlyBetweenImages) {
    const Delivery jpeg = Delivery::image(imageOptions(ImageFormat::jpeg, 1200, 0.7, false));
    struct Case {
        const char* name;
        Kind kind;
        Delivery current;
        Delivery expected;
    };
    const Case cases[] = {
        {"JPEG to PNG keeps size, quality and location", Kind::png, jpeg,
         Delivery::image(imageOptions(ImageFormat::png, 1200, 0.7, false))},
        {"path to JPEG starts afresh", Kind::jpeg, Delivery::path(),
         Delivery::image(imageOptions(ImageFormat::jpeg, 2000, 0.85, true))},
        {"path to PNG starts afresh", Kind::png, Delivery::path(),
         Delivery::image(imageOptions(ImageFormat::png, 2000, 0.85, true))},
        {"JPEG to path drops the options", Kind::path, jpeg, Delivery::path()},
        {"original", Kind::original, jpeg, Delivery::original()},
        {"plain text", Kind::plainText, Delivery::pdf(), Delivery::plainText()},
        {"link file", Kind::webloc, Delivery::original(), Delivery::webloc()},
        {"PDF", Kind::pdf, Delivery::original(), Delivery::pdf()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Delivery made = RuleEditorSheet::delivery(c.kind, c.current);
        EXPECT_EQ(made, c.expected);
        EXPECT_EQ(RuleEditorSheet::kindOf(made), c.kind);
    }
}

// The settings window over a rules folder of the test's own, on the Rules
// tab, with one rule of each kind the editor treats apart.
class RuleEditorTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<Preferences> prefs;
    std::unique_ptr<RulesStore> rules;
    std::unique_ptr<SettingsModel> model;
    std::unique_ptr<SettingsWindowController> window;
    int rulesChanged = 0;

    void SetUp() override {
        defaults = std::make_unique<UserDefaults>(dir.file("config/Tarvo.conf"));
        prefs = std::make_unique<Preferences>(*defaults);
        open();
        Rule app = SettingsModel::newRule();
        app.destination = Destination::app(QStringLiteral("org.gnome.gedit"));
        app.deliver = Delivery::path();
        app.enabled = false;
        rules->rules() = {SettingsModel::newRule(), app};
        ASSERT_TRUE(rules->save());
        open();
    }

    void open() {
        window.reset();
        model.reset();
        // The store before finishes its writes before this one reads them.
        rules.reset();
        rules = std::make_unique<RulesStore>(dir.file("rules"));
        model = std::make_unique<SettingsModel>(*prefs, *rules);
        model->setOnRulesChanged([this] { ++rulesChanged; });
        model->setSelectedTab(SettingsTab::rules);
        window = std::make_unique<SettingsWindowController>(*model);
        window->show();
    }

    RulesTab* tab() const {
        return static_cast<RulesTab*>(
            window->window()->findChild<QWidget*>(QStringLiteral("rulesTab")));
    }
    QTableWidget* table() const { return tab()->table(); }

    RuleEditorSheet* doubleClickRow(int row, Qt::KeyboardModifiers modifiers = {}) {
        const QRect cell = table()->visualRect(table()->model()->index(row, 0));
        // A double click starts with a press on the row.
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, modifiers, cell.center());
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, modifiers, cell.center());
        return tab()->editor();
    }

    template <class T> static T* child(QWidget* parent, const char* name) {
        T* widget = parent->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Picks entry `index` of a combo box as its list does.
    static void choose(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }

    static void waitGone(const QPointer<RuleEditorSheet>& editor) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return editor.isNull(); }, 10000));
    }
};

TEST_F(RuleEditorTest, OpensWindowModalOnTheDoubleClickedRule) {
    RuleEditorSheet* editor = doubleClickRow(0);
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->windowModality(), Qt::WindowModal);
    EXPECT_EQ(editor->parentWidget(), window->window());
    EXPECT_EQ(editor->width(), RuleEditorSheet::sheetWidth);
    EXPECT_EQ(editor->rule(), rules->rules()[0]);
    EXPECT_EQ(child<QLabel>(editor, "editorTitle")->text(),
              RuleEditorSheet::title(rules->rules()[0]));
    EXPECT_EQ(child<QComboBox>(editor, "deliveryKind")->currentText(), QStringLiteral("JPG"));
    EXPECT_TRUE(child<QWidget>(editor, "imageOptions")->isVisible());
    EXPECT_TRUE(child<QSlider>(editor, "quality")->isVisible());

    // Several rows selected: the first in stored order opens.
    QPointer<RuleEditorSheet> open = editor;
    QTest::keyClick(editor, Qt::Key_Escape);
    waitGone(open);
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                      table()->visualRect(table()->model()->index(0, 0)).center());
    editor = doubleClickRow(1, Qt::ControlModifier);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->rule().id, rules->rules()[0].id);
}

TEST_F(RuleEditorTest, EditsReachTheStoreOnlyOnSave) {
    const Rule before = rules->rules()[0];
    QPointer<RuleEditorSheet> editor = doubleClickRow(0);
    ASSERT_TRUE(editor);
    choose(child<QComboBox>(editor, "sourceType"), 6);  // text
    choose(child<QComboBox>(editor, "destination"), 5); // design
    auto* originalSize = child<QCheckBox>(editor, "originalSize");
    auto* pixels = child<QSpinBox>(editor, "maxPixels");
    QTest::mouseClick(originalSize, Qt::LeftButton, {}, QPoint(6, originalSize->height() / 2));
    EXPECT_FALSE(pixels->isVisible());
    EXPECT_EQ(editor->rule().deliver.imageOptions()->maxPixels, std::nullopt);
    QTest::mouseClick(originalSize, Qt::LeftButton, {}, QPoint(6, originalSize->height() / 2));
    ASSERT_TRUE(pixels->isVisible());
    EXPECT_EQ(pixels->value(), 2000);
    QTest::keyClick(pixels, Qt::Key_Up);
    EXPECT_EQ(editor->rule().deliver.imageOptions()->maxPixels, std::optional<qint64>(2100));
    auto* quality = child<QSlider>(editor, "quality");
    quality->setFocus();
    QTest::keyClick(quality, Qt::Key_End);
    EXPECT_EQ(editor->rule().deliver.imageOptions()->quality, 1.0);
    auto* rename = child<QLineEdit>(editor, "rename");
    QTest::keyClicks(rename, QStringLiteral("{name} small"));
    EXPECT_EQ(editor->rule().rename, std::optional<QString>(QStringLiteral("{name} small")));
    EXPECT_TRUE(child<QLabel>(editor, "editorTitle")->text().contains(L10n::sourceType("text")));
    EXPECT_EQ(rules->rules()[0], before);
    EXPECT_EQ(rulesChanged, 0);

    // Return saves, in place.
    QTest::keyClick(rename, Qt::Key_Return);
    waitGone(editor);
    EXPECT_EQ(rulesChanged, 1);
    open();
    ASSERT_EQ(rules->rules().size(), 2u);
    const Rule& saved = rules->rules()[0];
    EXPECT_EQ(saved.id, before.id);
    EXPECT_EQ(saved.sourceType, SourceType::text);
    EXPECT_EQ(saved.destination, Destination::category(AppCategory::design));
    EXPECT_EQ(saved.deliver, Delivery::image(imageOptions(ImageFormat::jpeg, 2100, 1.0, true)));
    EXPECT_EQ(saved.rename, std::optional<QString>(QStringLiteral("{name} small")));
    EXPECT_TRUE(saved.enabled);
    EXPECT_EQ(table()->item(0, 3)->text(), QStringLiteral("2100px, 100%, {name} small"));
}

TEST_F(RuleEditorTest, KindChangesKeepOrRestartTheImageOptions) {
    RuleEditorSheet* editor = doubleClickRow(0);
    ASSERT_TRUE(editor);
    auto* kind = child<QComboBox>(editor, "deliveryKind");
    auto* quality = child<QSlider>(editor, "quality");
    quality->setFocus();
    QTest::keyClick(quality, Qt::Key_Home); // 30%
    choose(kind, int(Kind::png));
    EXPECT_FALSE(quality->isVisible());
    EXPECT_EQ(editor->rule().deliver.imageOptions()->quality, 0.3);
    choose(kind, int(Kind::jpeg));
    EXPECT_TRUE(quality->isVisible());
    EXPECT_EQ(quality->value(), 300);
    choose(kind, int(Kind::path));
    EXPECT_FALSE(child<QWidget>(editor, "imageOptions")->isVisible());
    choose(kind, int(Kind::jpeg));
    EXPECT_EQ(editor->rule().deliver,
              Delivery::image(imageOptions(ImageFormat::jpeg, 2000, 0.85, true)));
    EXPECT_TRUE(child<QLabel>(editor, "editorTitle")->text().contains(QStringLiteral("2000")));
}

TEST_F(RuleEditorTest, TheControlsStayWithinTheirRanges) {
    RuleEditorSheet* editor = doubleClickRow(0);
    ASSERT_TRUE(editor);
    auto* pixels = child<QSpinBox>(editor, "maxPixels");
    pixels->setFocus();
    QTest::keyClick(pixels, Qt::Key_PageUp);
    for (int i = 0; i < 100; ++i)
        QTest::keyClick(pixels, Qt::Key_Up);
    EXPECT_EQ(editor->rule().deliver.imageOptions()->maxPixels, std::optional<qint64>(8000));
    for (int i = 0; i < 100; ++i)
        QTest::keyClick(pixels, Qt::Key_Down);
    EXPECT_EQ(editor->rule().deliver.imageOptions()->maxPixels, std::optional<qint64>(100));
    auto* quality = child<QSlider>(editor, "quality");
    quality->setFocus();
    QTest::keyClick(quality, Qt::Key_Home);
    EXPECT_EQ(editor->rule().deliver.imageOptions()->quality, 0.3);

    // Blanks are a template; an emptied field is none.
    auto* rename = child<QLineEdit>(editor, "rename");
    QTest::keyClicks(rename, QStringLiteral("  "));
    EXPECT_EQ(editor->rule().rename, std::optional<QString>(QStringLiteral("  ")));
    QTest::keyClick(rename, Qt::Key_Backspace);
    QTest::keyClick(rename, Qt::Key_Backspace);
    EXPECT_EQ(editor->rule().rename, std::nullopt);
}

TEST_F(RuleEditorTest, EscapeCancelsAndAnApplicationRuleStaysOne) {
    const Rule app = rules->rules()[1];
    QPointer<RuleEditorSheet> editor = doubleClickRow(1);
    ASSERT_TRUE(editor);
    EXPECT_EQ(child<QComboBox>(editor, "destination")->currentIndex(), 0);
    EXPECT_FALSE(child<QWidget>(editor, "imageOptions")->isVisible());
    choose(child<QComboBox>(editor, "sourceType"), 3);
    QTest::keyClick(editor, Qt::Key_Escape);
    waitGone(editor);
    EXPECT_EQ(rules->rules()[1], app);
    EXPECT_EQ(rulesChanged, 0);

    // Saved without touching the destination: still for one application,
    // and still off.
    editor = doubleClickRow(1);
    ASSERT_TRUE(editor);
    QTest::mouseClick(child<QPushButton>(editor, "save"), Qt::LeftButton);
    waitGone(editor);
    EXPECT_EQ(rules->rules()[1], app);
    EXPECT_EQ(table()->item(1, 1)->text(), QStringLiteral("org.gnome.gedit"));
    EXPECT_EQ(table()->item(1, 3)->text(), QStringLiteral("off"));

    // The anywhere entry it shows, chosen again from the menu: still the
    // application; a category and then anywhere is anywhere.
    editor = doubleClickRow(1);
    ASSERT_TRUE(editor);
    choose(child<QComboBox>(editor, "destination"), 0);
    QTest::mouseClick(child<QPushButton>(editor, "save"), Qt::LeftButton);
    waitGone(editor);
    EXPECT_EQ(rules->rules()[1], app);
    editor = doubleClickRow(1);
    ASSERT_TRUE(editor);
    choose(child<QComboBox>(editor, "destination"), 2);
    choose(child<QComboBox>(editor, "destination"), 0);
    QTest::mouseClick(child<QPushButton>(editor, "save"), Qt::LeftButton);
    waitGone(editor);
    EXPECT_EQ(rules->rules()[1].destination, Destination::anywhere());
}

TEST_F(RuleEditorTest, AFailedWriteKeepsTheEditorOpenWithTheEdits) {
    const Rule before = rules->rules()[0];
    const QByteArray file = dir.read("rules/rules.json");
    QPointer<RuleEditorSheet> editor = doubleClickRow(0);
    ASSERT_TRUE(editor);
    QTest::keyClicks(child<QLineEdit>(editor, "rename"), QStringLiteral("{date}"));
    // A folder in the way of the file makes the write fail.
    ASSERT_TRUE(QFile::remove(dir.file("rules/rules.json")));
    ASSERT_TRUE(QDir().mkpath(dir.file("rules/rules.json/blocked")));

    QTest::mouseClick(child<QPushButton>(editor, "save"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(editor);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->error(), L10n::rulesSaveFailed());
    EXPECT_TRUE(child<QLabel>(editor, "saveError")->isVisible());
    EXPECT_EQ(editor->rule().rename, std::optional<QString>(QStringLiteral("{date}")));
    EXPECT_EQ(child<QLineEdit>(editor, "rename")->text(), QStringLiteral("{date}"));
    EXPECT_EQ(rules->rules()[0], before) << "what is not written is not in force";
    EXPECT_EQ(table()->item(0, 3)->text(), QStringLiteral("2000px, 85%"));
    EXPECT_EQ(rulesChanged, 0);

    // Once the folder is writable again, the same editor saves.
    ASSERT_TRUE(QDir(dir.file("rules/rules.json")).removeRecursively());
    QTest::mouseClick(child<QPushButton>(editor, "save"), Qt::LeftButton);
    waitGone(editor);
    EXPECT_EQ(rulesChanged, 1);
    open();
    EXPECT_EQ(rules->rules()[0].rename, std::optional<QString>(QStringLiteral("{date}")));
    EXPECT_NE(dir.read("rules/rules.json"), file);
}

} // namespace
