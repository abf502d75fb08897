#include "DesktopEntry.h"

#include <QFile>

namespace tarvo {

bool DesktopEntry::isTerminalEmulator() const {
    return categories.contains(QStringLiteral("TerminalEmulator"));
}

std::optional<DesktopEntry> DesktopEntry::read(const QString& path) {
    QFile file(path);
    // Desktop files are small; a larger one is not what it claims to be.
    if (!file.open(QIODevice::ReadOnly) || file.size() > (1 << 20))
        return std::nullopt;
    return parse(file.readAll());
}

DesktopEntry DesktopEntry::parse(const QByteArray& contents) {
    DesktopEntry entry;
    bool inMainGroup = false;
    for (const QByteArray& raw : contents.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        // Localised keys ("Icon[de]") are left to their own key.
        const QByteArray key = line.left(equals).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (key == "Icon")
            entry.icon = value;
        else if (key == "Categories")
            entry.categories = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return entry;
}

} // namespace tarvo
