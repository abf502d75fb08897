#include "Alerts.h"
#include "AppDelegate.h"
#include "Entry.h"
#include "SingleInstance.h"
#include "X11ShellPlatform.h"

#include "TarvoCore/BuildInfo.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Log.h"
#include "TarvoShell/TarvoController.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so the store is saved on the way out.
void quitOnSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto answer = tarvo::Entry::answerCommandLine(arguments)) {
        print(stdout, answer->text);
        print(stderr, answer->errorText);
        return answer->exitCode;
    }

    tarvo::Entry::choosePlatform();
    if (const auto problem = tarvo::Entry::displayProblem()) {
        print(stderr, *problem + u'\n');
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    QApplication::setApplicationVersion(QLatin1String(tarvo::BuildInfo::shortVersion));
    QApplication::setDesktopFileName(QStringLiteral("com.tarvoapp.Tarvo"));
    QApplication::setQuitOnLastWindowClosed(false);
    // From here a SIGTERM waits for the event loop, which saves on its way out.
    quitOnSignals(app);
    if (const auto note = tarvo::Entry::waylandNote())
        tarvo::Log::core().notice(*note);

    tarvo::WidgetAlerts alerts;
    QString dataFolder;
    try {
        dataFolder = QFileInfo(tarvo::ItemStore::defaultRoot()).path();
    } catch (const tarvo::FileError& error) {
        tarvo::Log::core().fault(QStringLiteral("could not start: %1").arg(error.description()));
        alerts.showFailure(error.description());
        return 1;
    }
    tarvo::SingleInstance instance(dataFolder);
    switch (instance.acquire()) {
    case tarvo::SingleInstance::Outcome::another:
        if (!tarvo::SingleInstance::askToOpen())
            print(stderr, QStringLiteral("tarvo: Tarvo is already running\n"));
        return 0;
    case tarvo::SingleInstance::Outcome::failed:
        tarvo::Log::core().fault(QStringLiteral("could not start: %1").arg(instance.error()));
        alerts.showFailure(instance.error());
        return 1;
    case tarvo::SingleInstance::Outcome::first:
        break;
    }

    std::unique_ptr<tarvo::X11ShellPlatform> platform = tarvo::X11ShellPlatform::open();
    if (!platform) {
        print(stderr, QStringLiteral("tarvo: cannot open the X display\n"));
        return 1;
    }
    tarvo::AppDelegate delegate(platform->platform(), alerts);
    if (!delegate.applicationDidFinishLaunching())
        return 1;
    tarvo::TarvoController* controller = delegate.controller();
    instance.publish([controller] { controller->openTarvo(); });

    const auto screensChanged = [&platform, controller] {
        platform->updateScreenGeometry();
        controller->screenParametersChanged();
    };
    QObject::connect(&app, &QGuiApplication::primaryScreenChanged, &app, screensChanged);
    QObject::connect(&app, &QGuiApplication::screenAdded, &app, screensChanged);
    QObject::connect(&app, &QGuiApplication::screenRemoved, &app, screensChanged);

    const int code = app.exec();
    delegate.applicationWillTerminate();
    return code;
}
