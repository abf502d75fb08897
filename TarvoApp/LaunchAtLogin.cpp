#include "LaunchAtLogin.h"

#include "TarvoCore/AtomicFile.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/Files.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace tarvo {

namespace {

const QString entryName = QStringLiteral("com.tarvoapp.Tarvo.desktop");

bool isPlain(QChar c) {
    return c.isLetterOrNumber() || QStringLiteral("/._-+,:@%").contains(c);
}

} // namespace

LaunchAtLogin::LaunchAtLogin(QString configHome, QString program)
    : m_configHome(std::move(configHome)), m_program(std::move(program)) {}

LaunchAtLogin LaunchAtLogin::standard() {
    return LaunchAtLogin(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                         QCoreApplication::applicationFilePath());
}

QString LaunchAtLogin::entryPath() const {
    return m_configHome + QStringLiteral("/autostart/") + entryName;
}

QString LaunchAtLogin::execWord(const QString& program) {
    if (!program.isEmpty() && std::all_of(program.begin(), program.end(), isPlain))
        return program;
    // Inside quotes `"`, `` ` ``, `$` and `\` take a backslash; the value is
    // a string as well, whose own escaping doubles every backslash again.
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

QByteArray LaunchAtLogin::entry(const QString& program) {
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Tarvo\n"
                                  "Comment=A shelf for the things you drag\n"
                                  "Icon=com.tarvoapp.Tarvo\n"
                                  "Terminal=false\n"
                                  "X-GNOME-Autostart-enabled=true\n");
    text += QLatin1String(ownKey) + QStringLiteral("=true\n");
    text += QStringLiteral("Exec=") + execWord(program) + u'\n';
    return text.toUtf8();
}

bool LaunchAtLogin::isOurs(const QByteArray& text) {
    // Keys of the main group only; a hand edit may add groups of its own.
    bool inMain = false;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('['))
            inMain = line == "[Desktop Entry]";
        else if (inMain && line.startsWith(ownKey)) {
            const QByteArray rest = line.mid(qsizetype(qstrlen(ownKey))).trimmed();
            if (rest.startsWith('='))
                return rest.mid(1).trimmed() == "true";
        }
    }
    return false;
}

bool LaunchAtLogin::isEnabled() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Whatever program it names: an older install's path or a hand edit is
    // still the user's "on".
    return isOurs(file.readAll());
}

void LaunchAtLogin::apply(bool wanted) {
    if (wanted)
        enable();
    else
        disable();
}

void LaunchAtLogin::enable() {
    if (isEnabled())
        return;
    Files::makeDirectories(m_configHome + QStringLiteral("/autostart"));
    AtomicFile::write(entry(m_program), entryPath(), AtomicFile::Access::shared);
}

void LaunchAtLogin::disable() {
    const QByteArray path = QFile::encodeName(entryPath());
    if (::unlink(path.constData()) != 0 && errno != ENOENT)
        throw FileError(QStringLiteral("remove"), entryPath(), errno);
}

} // namespace tarvo
