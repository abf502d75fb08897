#pragma once

#include <QMetaObject>
#include <QString>

#include <memory>
#include <vector>

namespace tarvo {

class Alerts;
class AppDelegate;
class SingleInstance;
class X11ShellPlatform;

// Everything the program does once the application object exists: the one
// instance per store, the X11 services, the delegate's start-up, and the
// screens followed from then on. Main thread only.
class Application final {
public:
    enum class Start {
        running,    // the shelf runs here; enter the event loop
        handedOver, // another Tarvo holds the store and was asked to open its shelf
        unanswered, // another Tarvo holds the store and never answered: reason() says so
        failed,     // the start-up failed; it was logged and shown
    };

    // How long a second start keeps asking a Tarvo that holds the store but
    // does not answer yet (milliseconds).
    static constexpr int handOverPatience = 10000;

    // `patience`: how long to ask a holder that does not answer (milliseconds).
    explicit Application(Alerts& alerts, int patience = handOverPatience);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    Start start();
    // Why the start handed over to no one, for the terminal.
    const QString& reason() const { return m_reason; }
    // Stops the controller, which saves the store.
    void terminate();
    AppDelegate* delegate() const { return m_delegate.get(); }

private:
    // Tells the controller of every change to the screens from now on.
    void followScreens();

    Alerts& m_alerts;
    int m_patience;
    QString m_reason;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<X11ShellPlatform> m_platform;
    std::unique_ptr<AppDelegate> m_delegate;
    std::vector<QMetaObject::Connection> m_connections;
};

} // namespace tarvo
