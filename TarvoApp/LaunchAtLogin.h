#pragma once

#include <QString>

namespace tarvo {

// Starting Tarvo when the user logs in: an XDG autostart entry,
// "com.tarvoapp.Tarvo.desktop" in the user's autostart folder, naming the
// program. Turning it on or off twice does nothing the second time.
class LaunchAtLogin final {
public:
    // `configHome`: the user's configuration folder ($XDG_CONFIG_HOME).
    LaunchAtLogin(QString configHome, QString program);
    // The standard configuration folder and the running program.
    static LaunchAtLogin standard();

    QString entryPath() const;
    // The entry holds exactly what enable() writes for this program.
    bool isEnabled() const;
    // Writes the entry; throws FileError.
    void enable();
    // Removes the entry when there is one; throws FileError.
    void disable();

    // The entry's text for a program.
    static QByteArray entry(const QString& program);
    // A program path as the Exec key's first word: quoted when it holds
    // anything but plain characters, escaped as desktop entries require.
    static QString execWord(const QString& program);

private:
    QString m_configHome;
    QString m_program;
};

} // namespace tarvo
