#include "Alerts.h"
#include "Application.h"
#include "Entry.h"

#include "TarvoCore/BuildInfo.h"
#include "TarvoCore/Log.h"
#include "IconRenderer.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
// Set once SIGTERM or SIGINT has been seen on the event loop.
bool terminationAsked = false;

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so the store is saved on the way out.
// Before the main loop runs, the only loop that can hear them is a modal
// alert's: that alert is closed, and the start-up ends as it would once
// the alert is dismissed.
void quitOnSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        terminationAsked = true;
        QWidget* closed = nullptr;
        while (QWidget* modal = QApplication::activeModalWidget()) {
            auto* dialog = qobject_cast<QDialog*>(modal);
            if (!dialog || dialog == closed)
                break;
            dialog->done(QDialog::Rejected);
            closed = dialog;
        }
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
    // Before the help, which names the folders under the home.
    tarvo::Entry::findHome();
    if (const auto answer = tarvo::Entry::answerCommandLine(arguments)) {
        print(stdout, answer->text);
        print(stderr, answer->errorText);
        return answer->exitCode;
    }

    tarvo::Entry::choosePlatform();
    tarvo::Entry::settleLibraryEnvironment();
    if (const auto problem = tarvo::Entry::displayProblem()) {
        print(stderr, *problem + u'\n');
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    QApplication::setApplicationVersion(QLatin1String(tarvo::BuildInfo::shortVersion));
    QApplication::setDesktopFileName(QStringLiteral("com.tarvoapp.Tarvo"));
    QApplication::setQuitOnLastWindowClosed(false);
    // Every window of ours (tutorial, settings, preview) wears the app tile.
    QApplication::setWindowIcon(tarvo::IconRenderer::tileIcon());
    // From here a SIGTERM waits for the event loop, which saves on its way out.
    quitOnSignals(app);
    if (const auto note = tarvo::Entry::waylandNote())
        tarvo::Log::core().notice(*note);

    tarvo::WidgetAlerts alerts;
    tarvo::Application application(alerts);
    switch (application.start()) {
    case tarvo::Application::Start::handedOver:
        return 0;
    case tarvo::Application::Start::unanswered:
        print(stderr, QStringLiteral("tarvo: ") + application.reason() + u'\n');
        return 1;
    case tarvo::Application::Start::failed:
        return 1;
    case tarvo::Application::Start::running:
        break;
    }

    // A signal that came while an alert of the start-up was open ends the
    // program now; quit() does nothing before the main loop runs.
    const int code = terminationAsked ? 0 : app.exec();
    application.terminate();
    return code;
}
