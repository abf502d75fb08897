#include "InstanceSocket.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/Log.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarvo {

namespace {

// The socket's address; none when the path does not fit in one.
std::optional<sockaddr_un> addressOf(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.isEmpty() || std::size_t(name.size()) >= sizeof(address.sun_path))
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    return address;
}

} // namespace

InstanceSocket::InstanceSocket(QString path) : m_path(std::move(path)) {}

InstanceSocket::~InstanceSocket() {
    if (m_fd < 0)
        return;
    m_notifier.reset();
    ::close(m_fd);
    ::unlink(QFile::encodeName(m_path).constData());
}

bool InstanceSocket::listen(std::function<void()> open) {
    const std::optional<sockaddr_un> address = addressOf(m_path);
    if (!address) {
        Log::core().notice(QStringLiteral("the path %1 is too long for a socket").arg(m_path));
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        Log::core().notice(FileError(QStringLiteral("open"), m_path, errno).description());
        return false;
    }
    // The socket file takes the socket's own mode when it is made, so no
    // other user can connect even for a moment.
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    ::unlink(address->sun_path);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0 ||
        ::listen(fd, 8) != 0) {
        Log::core().notice(FileError(QStringLiteral("listen on"), m_path, errno).description());
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_open = std::move(open);
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { accept(); });
    return true;
}

void InstanceSocket::accept() {
    for (;;) {
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            return;
        ucred peer{};
        socklen_t size = sizeof(peer);
        const bool ours = ::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                          peer.uid == ::geteuid();
        if (ours) {
            const char answer = 'y';
            ::send(client, &answer, 1, MSG_NOSIGNAL);
        }
        ::close(client);
        if (ours && m_open)
            m_open();
    }
}

bool InstanceSocket::ask(const QString& path, int ms) {
    const std::optional<sockaddr_un> address = addressOf(path);
    if (!address)
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool answered = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) == 0) {
        const QDeadlineTimer deadline(ms);
        pollfd wait{fd, POLLIN, 0};
        int ready = 0;
        do {
            ready = ::poll(&wait, 1, int(deadline.remainingTime()));
        } while (ready < 0 && errno == EINTR && !deadline.hasExpired());
        char answer = 0;
        answered = ready > 0 && ::recv(fd, &answer, 1, 0) == 1 && answer == 'y';
    }
    ::close(fd);
    return answered;
}

} // namespace tarvo
