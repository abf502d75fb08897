#include "Application.h"

#include "Alerts.h"
#include "AppDelegate.h"
#include "SingleInstance.h"
#include "X11ShellPlatform.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Log.h"
#include "TarvoShell/TarvoController.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

namespace tarvo {

namespace {

void fail(Alerts& alerts, const QString& reason) {
    Log::core().fault(QStringLiteral("could not start: %1").arg(reason));
    alerts.showFailure(reason);
}

} // namespace

Application::Application(Alerts& alerts, int patience) : m_alerts(alerts), m_patience(patience) {}

Application::~Application() {
    for (const QMetaObject::Connection& connection : m_connections)
        QObject::disconnect(connection);
}

Application::Start Application::start() {
    QString dataFolder;
    try {
        dataFolder = QFileInfo(ItemStore::defaultRoot()).path();
    } catch (const FileError& error) {
        fail(m_alerts, error.description());
        return Start::failed;
    }
    m_instance = std::make_unique<SingleInstance>(dataFolder);
    SingleInstance::Outcome outcome = m_instance->acquire();
    // A Tarvo that is still starting holds the lock before it answers on the
    // bus or its socket: it is asked again until it answers, or ends and
    // leaves the store to this one.
    const QDeadlineTimer deadline(m_patience);
    while (outcome == SingleInstance::Outcome::another) {
        if (m_instance->askToOpen())
            return Start::handedOver;
        if (deadline.hasExpired()) {
            // Nothing opened: saying "already running" and ending well would
            // leave the person with no shelf and no clue.
            const QString holder = m_instance->holder();
            m_reason =
                QStringLiteral("another Tarvo%1 holds %2 but did not answer within %3 s; "
                               "end it or wait for it to finish starting")
                    .arg(holder.isEmpty() ? QString() : QStringLiteral(" (process %1)").arg(holder),
                         m_instance->lockPath())
                    .arg(m_patience / 1000.0);
            Log::core().error(QStringLiteral("could not hand over: %1").arg(m_reason));
            return Start::unanswered;
        }
        QThread::msleep(100);
        outcome = m_instance->acquire();
    }
    if (outcome == SingleInstance::Outcome::failed) {
        fail(m_alerts, m_instance->error());
        return Start::failed;
    }
    // The name and the socket are taken before the start-up, so a second
    // start meanwhile finds them and waits for the answer, which comes once
    // the loop runs.
    m_instance->publish([this] {
        if (m_delegate && m_delegate->controller())
            m_delegate->controller()->openTarvo();
    });

    m_platform = X11ShellPlatform::open();
    if (!m_platform) {
        fail(m_alerts, QStringLiteral("The X display cannot be reached."));
        return Start::failed;
    }
    m_delegate = std::make_unique<AppDelegate>(m_platform->platform(), m_alerts);
    if (!m_delegate->applicationDidFinishLaunching())
        return Start::failed;

    followScreens();
    return Start::running;
}

void Application::followScreens() {
    auto* app = qGuiApp;
    TarvoController* controller = m_delegate->controller();
    const auto screensChanged = [this, controller] {
        m_platform->updateScreenGeometry();
        controller->screenParametersChanged();
    };
    // A screen that is resized or whose top panel changes counts as much as
    // one that comes or goes.
    const auto followScreen = [this, app, screensChanged](QScreen* screen) {
        m_connections.push_back(
            QObject::connect(screen, &QScreen::geometryChanged, app, screensChanged));
        m_connections.push_back(
            QObject::connect(screen, &QScreen::availableGeometryChanged, app, screensChanged));
    };
    for (QScreen* screen : QGuiApplication::screens())
        followScreen(screen);
    m_connections.push_back(QObject::connect(app, &QGuiApplication::screenAdded, app,
                                             [followScreen, screensChanged](QScreen* screen) {
                                                 followScreen(screen);
                                                 screensChanged();
                                             }));
    m_connections.push_back(
        QObject::connect(app, &QGuiApplication::primaryScreenChanged, app, screensChanged));
    m_connections.push_back(
        QObject::connect(app, &QGuiApplication::screenRemoved, app, screensChanged));
}

void Application::terminate() {
    if (m_delegate)
        m_delegate->applicationWillTerminate();
}

} // namespace tarvo
