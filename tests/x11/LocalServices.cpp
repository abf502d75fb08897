#include "LocalServices.h"

#include "support/X11TestTools.h"

#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarvo::test {

MachineLock::MachineLock(const char* name)
    : m_fd(::open((QByteArray("/tmp/") + name).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)),
      m_held(m_fd.valid() &&
             waitFor([this] { return ::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0; }, 120000)) {}

PageServer::PageServer(const QString& folder) {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start("python3",
                    {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", folder});
    waitFor(
        [this] {
            m_output += m_process.readAll();
            const QRegularExpressionMatch match =
                QRegularExpression("port (\\d+)").match(QString::fromUtf8(m_output));
            if (match.hasMatch())
                m_port = match.captured(1).toInt();
            return m_port != 0;
        },
        20000);
}

PageServer::~PageServer() {
    m_process.kill();
    m_process.waitForFinished(2000);
}

QString PageServer::url(const QString& page) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(page);
}

} // namespace tarvo::test
