#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tarvo {

class AppLauncher;
class Clock;
class PasteKeys;
class ScheduledWork;
class Workspace;

// Pastes what the clipboard holds into another application for the user:
// brings it forward, waits until it really is the active one, then types the
// paste shortcut. Main thread only.
class AutoPasting {
public:
    virtual ~AutoPasting() = default;
    // Whether a paste can be typed on this display at all.
    virtual bool canAutoPaste() = 0;
    // Activates the application (starting it when it does not run) and pastes
    // into it once it is active. `done` hears, on the main thread, whether the
    // paste was typed; it is not when the application never became active,
    // since the keys would land in some other window.
    virtual void pasteAfterActivating(const QString& bundleID, bool terminal,
                                      std::function<void(bool pasted)> done) = 0;
};

class AutoPaster final : public AutoPasting {
public:
    static constexpr int attempts = 20;
    static constexpr double attemptInterval = 0.03;
    static constexpr double settleDelay = 0.05;

    // None of the services is owned; all must outlive the paster.
    AutoPaster(AppLauncher& launcher, Workspace& workspace, PasteKeys& keys, Clock& clock);
    ~AutoPaster() override;
    AutoPaster(const AutoPaster&) = delete;
    AutoPaster& operator=(const AutoPaster&) = delete;

    bool canAutoPaste() override;
    void pasteAfterActivating(const QString& bundleID, bool terminal,
                              std::function<void(bool pasted)> done) override;
    // Pastes still waiting for their application.
    std::size_t pending() const;

private:
    struct Paste;
    void look(Paste& paste);
    void finish(Paste& paste, bool pasted);

    AppLauncher& m_launcher;
    Workspace& m_workspace;
    PasteKeys& m_keys;
    Clock& m_clock;
    // Finished pastes are dropped at the next paste, never from inside their
    // own scheduled work.
    std::vector<std::unique_ptr<Paste>> m_pastes;
};

} // namespace tarvo
