#include "SingleInstance.h"

#include "InstanceSocket.h"

#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

// Answers the one method on the bus.
class SingleInstance::Object final : public QDBusVirtualObject {
public:
    explicit Object(std::function<void()> open) : m_open(std::move(open)) {}

    QString introspect(const QString&) const override {
        return QStringLiteral("<interface name=\"%1\"><method name=\"%2\"/></interface>")
            .arg(QLatin1String(interfaceName), QLatin1String(openMethod));
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage ||
            message.interface() != QLatin1String(interfaceName) ||
            message.member() != QLatin1String(openMethod))
            return false;
        connection.send(message.createReply());
        if (m_open)
            m_open();
        return true;
    }

private:
    std::function<void()> m_open;
};

SingleInstance::SingleInstance(QString folder) : m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (m_object) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QLatin1String(objectPath));
        bus.unregisterService(QLatin1String(serviceName));
    }
    // The socket goes while the lock is still held, so it never removes the
    // socket of a process that started since.
    m_socket.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

QString SingleInstance::lockPath() const {
    return m_folder + QStringLiteral("/tarvo.lock");
}

QString SingleInstance::holder() const {
    QFile file(lockPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.read(32).trimmed();
    bool number = false;
    text.toLongLong(&number);
    return number ? QString::fromLatin1(text) : QString();
}

QString SingleInstance::socketPath() const {
    return m_folder + QStringLiteral("/tarvo.socket");
}

SingleInstance::Outcome SingleInstance::acquire() {
    try {
        Files::makeDirectories(m_folder);
    } catch (const FileError& error) {
        m_error = error.description();
        return Outcome::failed;
    }
    const QByteArray path = QFile::encodeName(lockPath());
    // The lock is never followed through a link, and a file that is not
    // plainly ours is refused rather than locked and written over: whatever a
    // planted link or hard link points to stays as it is.
    constexpr int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = ::open(path.constData(), flags | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST)
        fd = ::open(path.constData(), flags);
    const QString notOurs =
        QStringLiteral("%1 is not a regular file of this user's alone, so it is not Tarvo's lock "
                       "file; Tarvo does not start over it. Remove it and start Tarvo again.")
            .arg(lockPath());
    if (fd < 0) {
        const int code = errno;
        struct stat info {};
        const bool exists = ::lstat(path.constData(), &info) == 0;
        if (code == ELOOP || (exists && S_ISLNK(info.st_mode))) {
            m_error = QStringLiteral("%1 is a symbolic link, not Tarvo's lock file; Tarvo does "
                                     "not start over it. Remove it and start Tarvo again.")
                          .arg(lockPath());
        } else if (exists && !S_ISREG(info.st_mode)) {
            m_error = notOurs;
        } else {
            m_error = FileError(QStringLiteral("open"), lockPath(), code).description();
        }
        return Outcome::failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        info.st_nlink != 1) {
        ::close(fd);
        m_error = notOurs;
        return Outcome::failed;
    }
    // The kernel lets the lock go with the process, however it ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EWOULDBLOCK)
            return Outcome::another;
        m_error = FileError(QStringLiteral("lock"), lockPath(), code).description();
        return Outcome::failed;
    }
    m_fd = fd;
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::pwrite(fd, pid.constData(), size_t(pid.size()), 0) != pid.size() ||
        ::ftruncate(fd, pid.size()) != 0)
        Log::core().debug(QStringLiteral("could not note the process in the lock file"));
    return Outcome::first;
}

bool SingleInstance::publish(std::function<void()> open) {
    m_socket = std::make_unique<InstanceSocket>(socketPath());
    m_socket->listen(open);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    auto object = std::make_unique<Object>(std::move(open));
    if (!bus.registerVirtualObject(QLatin1String(objectPath), object.get()))
        return false;
    if (!bus.registerService(QLatin1String(serviceName))) {
        bus.unregisterObject(QLatin1String(objectPath));
        Log::core().notice(
            QStringLiteral("another Tarvo holds the name %1").arg(QLatin1String(serviceName)));
        return false;
    }
    m_object = std::move(object);
    return true;
}

bool SingleInstance::askToOpen() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(QLatin1String(serviceName), QLatin1String(objectPath),
                                           QLatin1String(interfaceName), QLatin1String(openMethod));
        call.setAutoStartService(false);
        if (bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return InstanceSocket::ask(socketPath(), 5000);
}

} // namespace tarvo
