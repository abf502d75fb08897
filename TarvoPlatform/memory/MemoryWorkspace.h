#pragma once

#include "TarvoPlatform/Workspace.h"

#include <QHash>

namespace tarvo {

// Running applications as a test sets them: an application id per process
// (or per window, for windows that name no process) and an identity per live
// process. Counts the application-id lookups.
class MemoryWorkspace final : public Workspace {
public:
    std::optional<Application> frontmostApplication() override { return m_frontmost; }

    std::optional<QString> applicationID(const WindowInfo& window) override {
        ++m_lookups;
        if (window.ownerPID == 0)
            return m_byWindow.value(window.windowID);
        return m_byProcess.value(window.ownerPID);
    }

    std::optional<quint64> processIdentity(qint32 pid) override {
        const auto it = m_identities.constFind(pid);
        if (it == m_identities.constEnd())
            return std::nullopt;
        return *it;
    }

    void setFrontmost(std::optional<Application> application) {
        m_frontmost = std::move(application);
    }
    // A process that runs, with the application it shows (none: no id).
    void addProcess(qint32 pid, std::optional<QString> applicationID, quint64 identity = 1) {
        m_byProcess.insert(pid, std::move(applicationID));
        m_identities.insert(pid, identity);
    }
    void endProcess(qint32 pid) {
        m_byProcess.remove(pid);
        m_identities.remove(pid);
    }
    void setWindowApplication(quint64 windowID, std::optional<QString> applicationID) {
        m_byWindow.insert(windowID, std::move(applicationID));
    }
    int lookups() const { return m_lookups; }

private:
    std::optional<Application> m_frontmost;
    QHash<qint32, std::optional<QString>> m_byProcess;
    QHash<quint64, std::optional<QString>> m_byWindow;
    QHash<qint32, quint64> m_identities;
    int m_lookups = 0;
};

} // namespace tarvo
