#include "Entry.h"

#include "TarvoCore/BuildInfo.h"

#include <QCommandLineParser>
#include <QStandardPaths>

#include <xcb/xcb.h>

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace tarvo::Entry {

QString whereThingsAreKept() {
    // Worked out as the program does at its start, without making anything.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QStringLiteral("\nTarvo keeps\n"
                          "  the shelf's items in  %1/Tarvo/Items\n"
                          "  its rules in          %1/Tarvo/rules.json\n"
                          "  its settings in       %2/Tarvo/Tarvo.conf\n")
        .arg(data, config);
}

std::optional<Answer> answerCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tarvo: a shelf at the top of the screen for the things you drag."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(arguments)) {
        return Answer{2, QString(),
                      QStringLiteral("tarvo: %1\nTry 'tarvo --help'.\n").arg(parser.errorText())};
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // The parser names the program after the application object, which
        // does not exist yet.
        QString text = parser.helpText();
        text = QStringLiteral("Usage: tarvo [options]") + text.mid(text.indexOf(u'\n'));
        return Answer{0, text + whereThingsAreKept(), QString()};
    }
    if (parser.isSet(version)) {
        return Answer{
            0,
            QStringLiteral("Tarvo %1 (build %2)\n")
                .arg(QLatin1String(BuildInfo::shortVersion), QLatin1String(BuildInfo::build)),
            QString()};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Answer{2, QString(),
                      QStringLiteral("tarvo: unexpected argument '%1'\nTry 'tarvo --help'.\n")
                          .arg(parser.positionalArguments().first())};
    }
    return std::nullopt;
}

void choosePlatform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

void settleLibraryEnvironment() {
    // The imaging library, loaded on a worker at first use, writes its
    // prefix into the environment unless it is there already; a write to the
    // environment while the main thread reads it (the cursor theme does, at
    // every show) can crash the reader.
    if (qEnvironmentVariableIsEmpty("VIPSHOME"))
        qputenv("VIPSHOME", TARVO_VIPS_PREFIX);
}

void findHome() {
    if (!qEnvironmentVariableIsEmpty("HOME"))
        return;
    const long bufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(bufferSize > 0 ? bufferSize : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        qputenv("HOME", found->pw_dir);
}

std::optional<QString> displayProblem() {
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("xcb"))
        return std::nullopt;
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("tarvo: no X display (DISPLAY is not set); Tarvo runs on X11");
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (failed) {
        return QStringLiteral("tarvo: cannot open the X display %1")
            .arg(QString::fromLocal8Bit(display));
    }
    return std::nullopt;
}

std::optional<QString> waylandNote() {
    if (qEnvironmentVariable("XDG_SESSION_TYPE") != QLatin1String("wayland") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::nullopt;
    return QStringLiteral("on a Wayland session Tarvo sees only the drags, windows and keys of "
                          "X11 applications");
}

} // namespace tarvo::Entry
