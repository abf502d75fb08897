// Pictures of the settings window's tabs, the rule editor and each step of
// the tutorial, as shown on the display with its window manager; for people
// to look at (tests/ui/Settings/shots.sh runs it under Xvfb at ratios 1 and 2).
#include "TarvoCore/L10n.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "OnboardingModel.h"
#include "OnboardingWindow.h"
#include "RuleEditorSheet.h"
#include "RulesTab.h"
#include "SettingsModel.h"
#include "SettingsWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace tarvo;

namespace {

void settle(int ms = 400) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The window with its frame, as the screen shows it.
void shoot(QWidget* window, const QString& path) {
    settle();
    const QRect frame = window->frameGeometry();
    const QPixmap picture =
        window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!picture.save(path))
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir dir;
    const QString applications = dir.filePath(QStringLiteral("applications"));
    QDir().mkpath(applications);
    const std::pair<const char*, const char*> programs[] = {
        {"firefox", "Firefox"},         {"org.gnome.gedit", "Text Editor"},
        {"xfce4-terminal", "Terminal"}, {"org.inkscape.Inkscape", "Inkscape"},
        {"thunderbird", "Thunderbird"}, {"org.example.Notes", "Notes"},
    };
    for (const auto& [id, name] : programs) {
        QFile file(applications + QLatin1Char('/') + QLatin1String(id) +
                   QStringLiteral(".desktop"));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("[Desktop Entry]\nType=Application\nName=") + name +
                   "\nExec=true\nIcon=" + id + "\n");
    }
    UserDefaults defaults(dir.filePath(QStringLiteral("Tarvo.conf")));
    Preferences preferences(defaults);
    preferences.setEditorPaneDetection(true);
    RulesStore rules(dir.filePath(QStringLiteral("rules")));
    rules.pinApp(QStringLiteral("org.gnome.gedit"));
    rules.categories().noteSeen(QStringLiteral("org.example.Notes"));
    rules.save();
    ApplicationDirectory directory(QStringList{applications});
    directory.refreshAndWait();

    SettingsModel model(preferences, rules, &directory);
    model.setVersion(QStringLiteral("1.4"));
    model.setAccessibilityAvailable(false);
    model.setHotkeyProblem(
        L10n::hotkeyTakenByWindowManager(QStringLiteral("Alt+Space"), QStringLiteral("Openbox")));
    model.setUpdateStatus(L10n::aboutUpToDate());
    SettingsWindowController settings(model);
    settings.show();
    const char* tabs[] = {"general", "rules", "apps", "about"};
    for (int tab = 0; tab < 4; ++tab) {
        model.setSelectedTab(static_cast<SettingsTab>(tab));
        shoot(settings.window(),
              out + QStringLiteral("/settings-%1.png").arg(QLatin1String(tabs[tab])));
    }

    // The editor over the Rules tab, on the browser rule, then with a
    // failed save.
    model.setSelectedTab(SettingsTab::rules);
    settle();
    auto* tab =
        static_cast<RulesTab*>(settings.window()->findChild<QWidget*>(QStringLiteral("rulesTab")));
    QTableWidget* table = tab->table();
    const QPoint cell = table->visualRect(table->model()->index(1, 0)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell);
    if (RuleEditorSheet* editor = tab->editor()) {
        shoot(editor, out + QStringLiteral("/rule-editor.png"));
        editor->showError(L10n::rulesSaveFailed());
        shoot(editor, out + QStringLiteral("/rule-editor-error.png"));
        editor->dismiss();
    }
    settings.window()->close();

    OnboardingModel onboarding;
    OnboardingWindowController tutorial(onboarding);
    tutorial.show();
    const char* steps[] = {"welcome", "try-it", "route", "open"};
    for (int step = 0; step < 4; ++step) {
        onboarding.setStep(static_cast<OnboardingModel::Step>(step));
        shoot(tutorial.window(),
              out + QStringLiteral("/onboarding-%1.png").arg(QLatin1String(steps[step])));
    }
    onboarding.setStep(OnboardingModel::Step::tryIt);
    onboarding.setSampleLanded(true);
    shoot(tutorial.window(), out + QStringLiteral("/onboarding-landed.png"));
    return 0;
}
