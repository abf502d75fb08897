#include "DesktopProgram.h"

#include "support/X11TestTools.h"

#include <QElapsedTimer>

namespace tarvo::test {

QString runCommand(const QString& program, const QStringList& arguments, int ms) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(ms);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

DesktopProgram::DesktopProgram() {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

DesktopProgram::~DesktopProgram() {
    m_process.kill();
    m_process.waitForFinished(2000);
}

bool DesktopProgram::start(const QString& program, const QStringList& arguments,
                           const QString& windowClass, QRect where) {
    m_process.start(program, arguments);
    // xdotool's search gives up at once when a window it looks at goes away
    // meanwhile (a browser makes and drops several while it starts): ask
    // again until the window shows or the deadline passes.
    QElapsedTimer started;
    started.start();
    do {
        m_window = runCommand(QStringLiteral("timeout"),
                              {QStringLiteral("20"), QStringLiteral("xdotool"),
                               QStringLiteral("search"), QStringLiteral("--sync"),
                               QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                               windowClass})
                       .section(u'\n', 0, 0);
        if (m_window.isEmpty())
            pump(200);
    } while (m_window.isEmpty() && started.elapsed() < 30000 &&
             m_process.state() != QProcess::NotRunning);
    if (m_window.isEmpty())
        return false;
    runCommand(QStringLiteral("xdotool"),
               {QStringLiteral("windowmove"), m_window, QString::number(where.x()),
                QString::number(where.y()), QStringLiteral("windowsize"), m_window,
                QString::number(where.width()), QString::number(where.height())});
    // Placed once the window manager has done as asked.
    return waitFor(
        [&] {
            const QRect now = geometry();
            if (now.width() < where.width() - 10 || now.height() < where.height() - 10)
                return false;
            m_centre = now.center();
            m_top = now.top();
            m_left = now.left();
            return true;
        },
        10000);
}

QString DesktopProgram::title() const {
    return runCommand(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), m_window});
}

void DesktopProgram::keys(const QStringList& keys) {
    runCommand(QStringLiteral("xdotool"),
               {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
    pump(200);
    runCommand(QStringLiteral("xdotool"),
               QStringList{QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                           QStringLiteral("--delay"), QStringLiteral("50")} +
                   keys);
}

QRect DesktopProgram::geometry() {
    QRect rect;
    for (const QString& line :
         runCommand(QStringLiteral("xdotool"),
                    {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), m_window})
             .split(u'\n')) {
        const QString key = line.section(u'=', 0, 0), value = line.section(u'=', 1);
        if (key == QLatin1String("X"))
            rect.moveLeft(value.toInt());
        else if (key == QLatin1String("Y"))
            rect.moveTop(value.toInt());
        else if (key == QLatin1String("WIDTH"))
            rect.setWidth(value.toInt());
        else if (key == QLatin1String("HEIGHT"))
            rect.setHeight(value.toInt());
    }
    return rect;
}

} // namespace tarvo::test
