#pragma once

#include <QMetaObject>

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
        failed,     // the start-up failed; it was logged and shown
    };

    // How long a second start keeps asking a Tarvo that holds the store but
    // does not answer yet (milliseconds).
    static constexpr int handOverPatience = 10000;

    explicit Application(Alerts& alerts);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    Start start();
    // Stops the controller, which saves the store.
    void terminate();
    AppDelegate* delegate() const { return m_delegate.get(); }

private:
    // Tells the controller of every change to the screens from now on.
    void followScreens();

    Alerts& m_alerts;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<X11ShellPlatform> m_platform;
    std::unique_ptr<AppDelegate> m_delegate;
    std::vector<QMetaObject::Connection> m_connections;
};

} // namespace tarvo
