#include "AutoPaster.h"

#include "TarvoCore/Log.h"
#include "TarvoPlatform/AppLauncher.h"
#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/PasteKeys.h"
#include "TarvoPlatform/Workspace.h"

#include <algorithm>

namespace tarvo {

struct AutoPaster::Paste {
    QString bundleID;
    bool terminal = false;
    std::function<void(bool)> done;
    int attemptsLeft = attempts;
    bool finished = false;
    std::unique_ptr<ScheduledWork> next;
};

AutoPaster::AutoPaster(AppLauncher& launcher, Workspace& workspace, PasteKeys& keys, Clock& clock)
    : m_launcher(launcher), m_workspace(workspace), m_keys(keys), m_clock(clock) {}

AutoPaster::~AutoPaster() = default;

bool AutoPaster::canAutoPaste() {
    return m_keys.canSynthesize();
}

std::size_t AutoPaster::pending() const {
    return std::size_t(std::count_if(m_pastes.begin(), m_pastes.end(),
                                     [](const auto& paste) { return !paste->finished; }));
}

void AutoPaster::pasteAfterActivating(const QString& bundleID, bool terminal,
                                      std::function<void(bool pasted)> done) {
    if (!m_launcher.activate(bundleID)) {
        // Not running: started afresh; its window becomes active when it maps.
        if (!m_launcher.launch(bundleID, {}))
            Log::deliver().notice(QStringLiteral("could not start %1 to paste").arg(bundleID));
    }
    std::erase_if(m_pastes, [](const auto& paste) { return paste->finished; });
    auto paste = std::make_unique<Paste>();
    paste->bundleID = bundleID;
    paste->terminal = terminal;
    paste->done = std::move(done);
    Paste& started = *paste;
    m_pastes.push_back(std::move(paste));
    look(started);
}

void AutoPaster::look(Paste& paste) {
    const std::optional<Workspace::Application> front = m_workspace.frontmostApplication();
    if (front && front->bundleIdentifier == paste.bundleID) {
        // Scheduled work dies with its paste, which dies with the paster. The
        // keys go out only if the focus is still in the window found active
        // here: in the meantime the user may have moved on.
        const quint64 window = front->windowID;
        paste.next = m_clock.schedule(settleDelay, [this, &paste, window] {
            const bool pasted = m_keys.postPaste(paste.terminal, window);
            if (!pasted)
                Log::deliver().notice(
                    QStringLiteral("the keyboard left %1; nothing pasted").arg(paste.bundleID));
            finish(paste, pasted);
        });
        return;
    }
    if (paste.attemptsLeft < 1) {
        Log::deliver().notice(
            QStringLiteral("%1 never became active; nothing pasted").arg(paste.bundleID));
        finish(paste, false);
        return;
    }
    --paste.attemptsLeft;
    paste.next = m_clock.schedule(attemptInterval, [this, &paste] { look(paste); });
}

void AutoPaster::finish(Paste& paste, bool pasted) {
    paste.finished = true;
    if (auto done = std::move(paste.done))
        done(pasted);
}

} // namespace tarvo
