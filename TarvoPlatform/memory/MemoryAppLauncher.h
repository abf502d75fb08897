#pragma once

#include "TarvoPlatform/AppLauncher.h"

#include <QSet>

#include <functional>
#include <vector>

namespace tarvo {

// Applications a test declares running or installed; records what it was
// asked to do.
class MemoryAppLauncher final : public AppLauncher {
public:
    struct Launch {
        QString appID;
        QList<QUrl> files;
        bool operator==(const Launch&) const = default;
    };

    bool isRunning(const QString& appID) override {
        ++m_scans;
        return m_running.contains(appID);
    }
    bool activate(const QString& appID) override {
        ++m_scans;
        m_activated.push_back(appID);
        const bool running = m_running.contains(appID);
        if (running && onActivate)
            onActivate(appID);
        return running;
    }
    bool launch(const QString& appID, const QList<QUrl>& files) override {
        if (!m_installed.contains(appID))
            return false;
        m_launched.push_back({appID, files});
        return true;
    }

    void setRunning(const QString& appID, bool running = true) {
        if (running)
            m_running.insert(appID);
        else
            m_running.remove(appID);
    }
    void setInstalled(const QString& appID) { m_installed.insert(appID); }
    const std::vector<QString>& activated() const { return m_activated; }
    // Looks at the window list (running and activation checks), as the X11
    // launcher does for each.
    int scans() const { return m_scans; }
    const std::vector<Launch>& launched() const { return m_launched; }
    // Called when a running application is activated, e.g. to make it frontmost.
    std::function<void(const QString&)> onActivate;

private:
    QSet<QString> m_running;
    QSet<QString> m_installed;
    std::vector<QString> m_activated;
    int m_scans = 0;
    std::vector<Launch> m_launched;
};

} // namespace tarvo
