#pragma once

// What the X11 suites that drive installed programs share beyond the display:
// a lock of the whole machine for programs that keep one instance per user,
// and pages served from 127.0.0.1.
#include "TarvoCore/Files.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

namespace tarvo::test {

// xarchiver keeps one instance per user for every display: one started while
// another runs (a suite run elsewhere on the machine at the same time) hands
// its archive over through a socket in /tmp and quits. Runs take turns
// through a lock of the whole machine, held while the lock lives; waits up to
// two minutes for it.
class MachineLock final {
public:
    explicit MachineLock(const char* name);
    bool held() const { return m_held; }

private:
    Files::Fd m_fd;
    bool m_held;
};

// Pages and pictures served from 127.0.0.1 only, on a free port.
class PageServer final {
public:
    explicit PageServer(const QString& folder);
    ~PageServer();
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;
    bool ok() const { return m_port != 0; }
    QString url(const QString& page) const;

private:
    QProcess m_process;
    QByteArray m_output;
    int m_port = 0;
};

} // namespace tarvo::test
