#include "X11Workspace.h"

#include "X11Connection.h"
#include "X11Properties.h"

#include "TarvoPlatform/ApplicationDirectory.h"

#include <QFile>

#include <unistd.h>

namespace tarvo {

namespace {

QString textOf(const std::optional<X11Properties::Value>& value) {
    const std::vector<QByteArray> parts = X11Properties::texts(value);
    return parts.empty() ? QString() : QString::fromUtf8(parts.front()).trimmed();
}

} // namespace

X11Workspace::X11Workspace(X11Connection& connection, ApplicationDirectory& applications)
    : m_connection(connection), m_applications(applications),
      m_activeWindow(connection.atom("_NET_ACTIVE_WINDOW")), m_pid(connection.atom("_NET_WM_PID")),
      m_gtkApplicationID(connection.atom("_GTK_APPLICATION_ID")),
      m_kdeDesktopFile(connection.atom("_KDE_NET_WM_DESKTOP_FILE")),
      m_utf8String(connection.atom("UTF8_STRING")) {}

std::optional<Workspace::Application> X11Workspace::frontmostApplication() {
    xcb_connection_t* c = m_connection.get();
    const std::optional<quint32> active = X11Properties::firstCardinal(X11Properties::take(
        c, X11Properties::request(c, m_connection.root(), m_activeWindow, XCB_ATOM_WINDOW, 1)));
    m_connection.scheduleDrain();
    if (!active || *active == XCB_NONE)
        return std::nullopt;
    if (m_connection.isOwnWindow(*active))
        return Application{static_cast<qint32>(::getpid()), std::nullopt, *active};

    const auto pidCookie = X11Properties::request(c, *active, m_pid, XCB_ATOM_CARDINAL, 1);
    Application application;
    application.windowID = *active;
    application.bundleIdentifier = name(ask(*active));
    const std::optional<quint32> pid =
        X11Properties::firstCardinal(X11Properties::take(c, pidCookie));
    m_connection.scheduleDrain();
    application.processIdentifier = pid && *pid <= 0x7FFFFFFF ? static_cast<qint32>(*pid) : 0;
    return application;
}

std::optional<QString> X11Workspace::applicationID(const WindowInfo& window) {
    if (window.windowID == 0)
        return std::nullopt;
    const std::optional<QString> id = name(ask(static_cast<xcb_window_t>(window.windowID)));
    m_connection.scheduleDrain();
    return id;
}

std::vector<std::optional<QString>>
X11Workspace::applicationIDs(const std::vector<WindowInfo>& windows) {
    // Every question goes out before the first answer is read: one round
    // trip for the whole list.
    std::vector<std::optional<Asked>> asked;
    asked.reserve(windows.size());
    for (const WindowInfo& window : windows) {
        if (window.windowID == 0)
            asked.emplace_back();
        else
            asked.emplace_back(ask(static_cast<xcb_window_t>(window.windowID)));
    }
    std::vector<std::optional<QString>> ids;
    ids.reserve(windows.size());
    for (const std::optional<Asked>& one : asked)
        ids.push_back(one ? name(*one) : std::nullopt);
    if (!windows.empty())
        m_connection.scheduleDrain();
    return ids;
}

X11Workspace::Asked X11Workspace::ask(xcb_window_t window) {
    xcb_connection_t* c = m_connection.get();
    return Asked{X11Properties::request(c, window, m_gtkApplicationID, m_utf8String, 256),
                 X11Properties::request(c, window, m_kdeDesktopFile, m_utf8String, 256),
                 X11Properties::request(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256)};
}

std::optional<QString> X11Workspace::name(const Asked& asked) {
    xcb_connection_t* c = m_connection.get();
    const QString gtk = textOf(X11Properties::take(c, asked.gtk));
    QString kde = textOf(X11Properties::take(c, asked.kde));
    const std::vector<QByteArray> wmClass =
        X11Properties::texts(X11Properties::take(c, asked.wmClass));

    if (kde.endsWith(QLatin1String(".desktop")))
        kde.chop(8);
    // An id the application states itself, when it is installed under it...
    for (const QString& stated : {gtk, kde})
        if (!stated.isEmpty() && m_applications.entry(stated))
            return stated;
    // ...else the installed application its window class names...
    const QString instance = wmClass.size() > 0 ? QString::fromUtf8(wmClass[0]) : QString();
    const QString windowClass = wmClass.size() > 1 ? QString::fromUtf8(wmClass[1]) : QString();
    if (std::optional<QString> matched = m_applications.idForWindowClass(instance, windowClass))
        return matched;
    // ...else the stated id all the same: rules may name it.
    for (const QString& stated : {gtk, kde})
        if (!stated.isEmpty())
            return stated;
    return std::nullopt;
}

std::optional<quint64> X11Workspace::startTimeFromStat(const QByteArray& stat) {
    // The command name in parentheses may hold spaces and parentheses itself.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    // After the name: state is field 3, start time field 22.
    constexpr int startTimeIndex = 22 - 3;
    if (fields.size() <= startTimeIndex)
        return std::nullopt;
    bool ok = false;
    const quint64 value = fields[startTimeIndex].toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<quint64> X11Workspace::processIdentity(qint32 pid) {
    if (pid <= 0)
        return std::nullopt;
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return startTimeFromStat(file.readAll());
}

} // namespace tarvo
