#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What happens before the application object exists: the command line, the
// platform plugin, and whether an X display can be reached.
namespace tarvo::Entry {

// What the command line asks for; none: start Tarvo.
struct Answer {
    int exitCode = 0;
    QString text;      // for stdout
    QString errorText; // for stderr
};
std::optional<Answer> answerCommandLine(const QStringList& arguments);
// The end of the help: the folders and files of the items, the rules and
// the settings.
QString whereThingsAreKept();

// Sets QT_QPA_PLATFORM to "xcb" when it is unset, whatever the session.
void choosePlatform();
// Sets what libraries would otherwise write into the environment from a
// worker thread; call before any thread starts.
void settleLibraryEnvironment();

// Sets HOME from the user's entry in the password database when it is unset
// or empty (a service or a bare `env -i`), so that the settings and the
// shelf's store go into the user's home rather than the file system's root.
void findHome();

// Why the X display cannot be reached; none when it can (or Qt runs on a
// platform other than xcb).
std::optional<QString> displayProblem();

// On a Wayland session, what Tarvo cannot see there; none elsewhere.
std::optional<QString> waylandNote();

} // namespace tarvo::Entry
