#pragma once

#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace tarvo {

// How a second start reaches the first when there is no session bus: a Unix
// socket beside the store's lock that only its user may connect to. The
// holder of the lock listens; each connection asks it to open the shelf and
// is answered with one byte before the shelf opens.
class InstanceSocket final {
public:
    explicit InstanceSocket(QString path);
    ~InstanceSocket();
    InstanceSocket(const InstanceSocket&) = delete;
    InstanceSocket& operator=(const InstanceSocket&) = delete;

    // Listens at the path, taking the place of a socket left there by a
    // process that ended without removing it: only the holder of the lock
    // may call this. False, and logged, when it cannot.
    bool listen(std::function<void()> open);
    bool listening() const { return m_fd >= 0; }

    // Asks whoever listens at `path` to open the shelf; false when nobody
    // answered within `ms` milliseconds.
    static bool ask(const QString& path, int ms);

private:
    void accept();

    QString m_path;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_open;
};

} // namespace tarvo
