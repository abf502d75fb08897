// The wording check over every text the settings window, the rule editor and
// the tutorial show: no banned words, exclamation marks or emoji, and each
// sentence in sentence case.
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "OnboardingModel.h"
#include "OnboardingView.h"
#include "OnboardingWindow.h"
#include "RuleEditorSheet.h"
#include "RulesTab.h"
#include "SettingsModel.h"
#include "SettingsWindow.h"
#include "support/CopyStyle.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <memory>

using namespace tarvo;
namespace CS = tarvo::test::CopyStyle;

namespace {

// Names of keys and programs that are capitalised wherever they stand.
const QStringList extraProperNouns = {"Alt", "Space", "Ctrl", "Super", "Slack", "Files"};

// Every text of `root` and its children: titles, labels, buttons, lists,
// table headings and cells, hints, tips and accessible names, each under a
// name that says where it came from.
void collect(QWidget* root, QHash<QString, QString>& texts) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    int n = 0;
    const auto add = [&](const QWidget* widget, const char* what, const QString& text) {
        if (!text.trimmed().isEmpty())
            texts.insert(QStringLiteral("%1 %2 %3")
                             .arg(widget->objectName().isEmpty() ? widget->metaObject()->className()
                                                                 : widget->objectName())
                             .arg(QLatin1String(what))
                             .arg(++n),
                         text);
    };
    for (QWidget* widget : widgets) {
        // Qt's own parts (the tab bar's scroll buttons) speak Qt's words.
        const QString name = widget->objectName();
        if (name.startsWith(QLatin1String("qt_")) || name.startsWith(QLatin1String("Scroll")))
            continue;
        if (widget->isWindow())
            add(widget, "title", widget->windowTitle());
        add(widget, "tip", widget->toolTip());
        add(widget, "accessible", widget->accessibleName());
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            QTextDocument document;
            document.setHtml(label->text());
            add(widget, "label",
                Qt::mightBeRichText(label->text()) ? document.toPlainText() : label->text());
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            add(widget, "button", button->text());
        } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
            for (int i = 0; i < box->count(); ++i)
                add(widget, "entry", box->itemText(i));
        } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            add(widget, "placeholder", line->placeholderText());
        } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                add(widget, "tab", tabs->tabText(i));
        } else if (auto* table = qobject_cast<QTableWidget*>(widget)) {
            for (int c = 0; c < table->columnCount(); ++c) {
                if (table->horizontalHeaderItem(c))
                    add(widget, "heading", table->horizontalHeaderItem(c)->text());
                for (int r = 0; r < table->rowCount(); ++r)
                    add(widget, "cell", table->item(r, c) ? table->item(r, c)->text() : QString());
            }
        }
    }
}

QStringList sentences(const QString& text) {
    static const QRegularExpression end(QStringLiteral("(?<=[.:?])\\s+"));
    return text.split(end, Qt::SkipEmptyParts);
}

void check(const QHash<QString, QString>& texts) {
    ASSERT_FALSE(texts.isEmpty());
    for (const CS::Violation& violation : CS::violations(texts))
        ADD_FAILURE() << violation.description().toStdString();
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        for (const QString& sentence : sentences(it.value())) {
            QStringList offenders = CS::titleCaseOffenders(sentence);
            offenders.removeIf([](const QString& word) { return extraProperNouns.contains(word); });
            EXPECT_TRUE(offenders.isEmpty())
                << it.key().toStdString() << ": \"" << sentence.toStdString() << "\" has "
                << offenders.join(QStringLiteral(", ")).toStdString();
        }
    }
}

class WordingTest : public ::testing::Test {
protected:
    test::TempDir dir;
    UserDefaults defaults{dir.file("Tarvo.conf")};
    Preferences preferences{defaults};
    RulesStore rules{dir.file("rules")};
};

TEST_F(WordingTest, TheSettingsWindowAndTheRuleEditor) {
    // Every caption shows: the editor-pane switch on without the bus, a rule
    // of every delivery, a status line.
    preferences.setEditorPaneDetection(true);
    for (RuleEditorSheet::DeliveryKind kind : RuleEditorSheet::allDeliveryKinds) {
        Rule rule = SettingsModel::newRule();
        rule.deliver = RuleEditorSheet::delivery(kind, rule.deliver);
        rule.destination = Destination::anywhere();
        rules.rules().push_back(rule);
    }
    SettingsModel model(preferences, rules);
    model.setAccessibilityAvailable(false);
    model.setUpdateStatus(QStringLiteral("Checking"));
    SettingsWindowController window(model);
    window.show();
    QHash<QString, QString> texts;
    collect(window.window(), texts);

    model.setSelectedTab(SettingsTab::rules);
    auto* tab =
        static_cast<RulesTab*>(window.window()->findChild<QWidget*>(QStringLiteral("rulesTab")));
    ASSERT_TRUE(tab);
    for (int row = 0; row < tab->table()->rowCount(); ++row) {
        const QPoint cell = tab->table()->visualRect(tab->table()->model()->index(row, 0)).center();
        QTest::mouseClick(tab->table()->viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(tab->table()->viewport(), Qt::LeftButton, {}, cell);
        RuleEditorSheet* editor = tab->editor();
        ASSERT_TRUE(editor) << row;
        collect(editor, texts);
        editor->dismiss();
        editor->deleteLater();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    check(texts);
}

TEST_F(WordingTest, EveryStepOfTheTutorial) {
    OnboardingModel model;
    OnboardingWindowController window(model);
    window.show();
    QHash<QString, QString> texts;
    int drawn = 0;
    for (bool landed : {false, true}) {
        model.setStep(OnboardingModel::Step::welcome);
        model.setSampleLanded(landed);
        for (OnboardingModel::Step step : OnboardingModel::allSteps) {
            model.setStep(step);
            collect(window.window(), texts);
            for (const QString& text : OnboardingStage::paintedTexts(model))
                texts.insert(QStringLiteral("drawn %1").arg(++drawn), text);
        }
    }
    check(texts);
}

} // namespace
