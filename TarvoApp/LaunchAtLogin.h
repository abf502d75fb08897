#pragma once

#include <QString>

namespace tarvo {

// Starting Tarvo when the user logs in: an XDG autostart entry,
// "com.tarvoapp.Tarvo.desktop" in the user's autostart folder, naming the
// program and marked as ours by its "X-Tarvo-Autostart" key. Turning it on
// or off twice does nothing the second time.
class LaunchAtLogin final {
public:
    // `configHome`: the user's configuration folder ($XDG_CONFIG_HOME).
    LaunchAtLogin(QString configHome, QString program);
    // The standard configuration folder and the running program.
    static LaunchAtLogin standard();

    // The key that marks an entry as written by Tarvo.
    static constexpr char ownKey[] = "X-Tarvo-Autostart";

    QString entryPath() const;
    // An entry of ours is there (its file name and its own key), whatever
    // program it names.
    bool isEnabled() const;
    // On: an entry of ours is there; off: no entry of that name is left.
    // Throws FileError.
    void apply(bool wanted);
    // Writes the entry; throws FileError.
    void enable();
    // Removes the entry when there is one; throws FileError.
    void disable();

    // The entry's text for a program.
    static QByteArray entry(const QString& program);
    // Whether an entry's text carries our key, set to true, in its main group.
    static bool isOurs(const QByteArray& text);
    // A program path as the Exec key's first word: quoted when it holds
    // anything but plain characters, escaped as desktop entries require.
    static QString execWord(const QString& program);

private:
    QString m_configHome;
    QString m_program;
};

} // namespace tarvo
