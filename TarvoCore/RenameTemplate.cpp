#include "RenameTemplate.h"

#include "CanonicalText.h"
#include "Files.h"

#include <QDateTime>
#include <QFile>
#include <QTextBoundaryFinder>
#include <QUuid>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

namespace tarvo::RenameTemplate {

namespace {

// Taken names tried in order before giving up on counting ("base 1000" at most).
constexpr int countedTries = 1000;
constexpr int randomTries = 16;

// User-perceived characters: a "{" carrying a combining mark is not a brace.
QStringList graphemes(const QString& text) {
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        out.append(text.mid(start, end - start));
        start = end;
    }
    return out;
}

// The calendar is proleptic Gregorian and the digits ASCII whatever the user's
// locale, so the pieces are written by hand rather than through QLocale.
QDateTime localTime(Date date, const QTimeZone& timeZone) {
    const auto msecs = static_cast<qint64>(std::floor(date.secondsSince1970() * 1000.0));
    if (timeZone.isValid())
        return QDateTime::fromMSecsSinceEpoch(msecs, timeZone);
    return QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
}

QString formattedDate(Date date, const QTimeZone& timeZone) {
    const QDate d = localTime(date, timeZone).date();
    return QString::asprintf("%04d-%02d-%02d", d.year(), d.month(), d.day());
}

QString formattedTime(Date date, const QTimeZone& timeZone) {
    const QTime t = localTime(date, timeZone).time();
    return QString::asprintf("%02d%02d%02d", t.hour(), t.minute(), t.second());
}

QString cleaned(QString text) {
    text.replace(u'/', u'-');
    text.replace(u':', u'-');
    return text.trimmed();
}

QString candidate(const QString& base, const QString& suffix, int n) {
    if (n <= 1)
        return base + suffix;
    return base + u' ' + QString::number(n) + suffix;
}

enum class Claim { reserved, taken, refused };

Claim claim(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        ::close(fd);
        return Claim::reserved;
    }
    return errno == EEXIST ? Claim::taken : Claim::refused;
}

QString randomName(const QString& base, const QString& suffix) {
    const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper();
    return base + u' ' + tag + suffix;
}

} // namespace

const QStringList& tokens() {
    static const QStringList list = {QStringLiteral("{name}"), QStringLiteral("{date}"),
                                     QStringLiteral("{time}"), QStringLiteral("{n}"),
                                     QStringLiteral("{ext}"),  QStringLiteral("{app}")};
    return list;
}

QString expand(const QString& templ, const QString& name, const QString& ext, int index, int count,
               const std::optional<QString>& app, Date date, const QTimeZone& timeZone) {
    const QStringList chars = graphemes(templ);
    const qsizetype size = chars.size();
    QString output;
    qsizetype i = 0;
    while (i < size) {
        qsizetype open = i;
        while (open < size && chars[open] != u'{')
            ++open;
        for (qsizetype k = i; k < open; ++k)
            output += chars[k];
        if (open == size)
            break;
        qsizetype close = open;
        while (close < size && chars[close] != u'}')
            ++close;
        if (close == size) {
            for (qsizetype k = open; k < size; ++k)
                output += chars[k];
            break;
        }
        QString token;
        for (qsizetype k = open; k <= close; ++k)
            token += chars[k];

        if (CanonicalText::equal(token, QStringLiteral("{name}")))
            output += name;
        else if (CanonicalText::equal(token, QStringLiteral("{ext}")))
            output += ext;
        else if (CanonicalText::equal(token, QStringLiteral("{app}")))
            output += app.value_or(QString());
        else if (CanonicalText::equal(token, QStringLiteral("{n}")))
            output += paddedIndex(index, count);
        else if (CanonicalText::equal(token, QStringLiteral("{date}")))
            output += formattedDate(date, timeZone);
        else if (CanonicalText::equal(token, QStringLiteral("{time}")))
            output += formattedTime(date, timeZone);
        else
            output += token;
        i = close + 1;
    }

    const QString result = cleaned(output);
    if (!result.isEmpty())
        return result;
    return cleaned(name);
}

QString paddedIndex(int index, int count) {
    const int width = static_cast<int>(QString::number(std::max(count, 1)).size());
    return QString::asprintf("%0*d", width, index + 1);
}

QString uniqueName(const QString& base, const QString& ext, const QString& folder) {
    const QString suffix = ext.isEmpty() ? QString() : u'.' + ext;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';

    for (int n = 1; n <= countedTries; ++n) {
        const QString name = candidate(base, suffix, n);
        switch (claim(prefix + name)) {
        case Claim::reserved:
            return name;
        case Claim::taken:
            continue;
        case Claim::refused:
            // Nothing can be created here (folder missing, read-only, name too
            // long): no reservation is possible, so answer by existence alone and
            // let the writer report its own failure.
            for (int m = n; m <= countedTries; ++m) {
                const QString free = candidate(base, suffix, m);
                if (!Files::exists(prefix + free))
                    return free;
            }
            return randomName(base, suffix);
        }
    }

    // A folder holding a thousand files of this name is not worth counting on.
    for (int tries = 0; tries < randomTries; ++tries) {
        const QString name = randomName(base, suffix);
        if (claim(prefix + name) != Claim::taken)
            return name;
    }
    return randomName(base, suffix);
}

} // namespace tarvo::RenameTemplate
