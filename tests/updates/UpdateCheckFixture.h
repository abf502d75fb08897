#pragma once

#include "Ed25519TestKey.h"
#include "TarvoUpdates/UpdateCheckResult.h"
#include "TarvoUpdates/UpdateController.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>

#include <ostream>

namespace tarvo {

inline void PrintTo(const UpdateCheckResult& result, std::ostream* os) {
    *os << result.description().toStdString();
}

namespace test {

// Turns the event loop until `done` holds or a generous deadline passes.
template <typename Predicate> bool waitUntil(Predicate done, int seconds = 60) {
    const QDeadlineTimer deadline(seconds * 1000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// Runs one check to its end; a check that never ends fails the test.
inline UpdateCheckResult runCheck(UpdateController& controller) {
    std::optional<UpdateCheckResult> result;
    controller.check(nullptr, [&](const UpdateCheckResult& r) { result = r; });
    if (!waitUntil([&] { return result.has_value(); }))
        return UpdateCheckResult::failed(QStringLiteral("(the check did not end)"));
    return *result;
}

// An archive of `size` bytes that differ from one another.
inline QByteArray archiveOf(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 251) % 256);
    return bytes;
}

// One feed item with the enclosure's attributes given as they are written.
inline QByteArray feedItem(const QString& build, const QString& shortVersion, const QUrl& url,
                           const QString& signature, const QString& length) {
    QString enclosure = QStringLiteral("<enclosure url=\"%1\"").arg(url.toString().toHtmlEscaped());
    if (!build.isEmpty())
        enclosure += QStringLiteral(" sparkle:version=\"%1\"").arg(build.toHtmlEscaped());
    if (!shortVersion.isEmpty())
        enclosure +=
            QStringLiteral(" sparkle:shortVersionString=\"%1\"").arg(shortVersion.toHtmlEscaped());
    if (!signature.isEmpty())
        enclosure += QStringLiteral(" sparkle:edSignature=\"%1\"").arg(signature);
    if (!length.isEmpty())
        enclosure += QStringLiteral(" length=\"%1\"").arg(length);
    return (QStringLiteral("<item><title>Tarvo %1</title>").arg(shortVersion.toHtmlEscaped()) +
            enclosure + QStringLiteral("/></item>\n"))
        .toUtf8();
}

inline QByteArray feedOf(const QByteArray& items) {
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
           "xmlns:sparkle=\"https://example.invalid/xml-namespaces/appcast\">"
           "<channel><title>Tarvo</title>\n" +
           items + "</channel></rss>\n";
}

// The names in a folder, hidden ones included.
inline QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace test
} // namespace tarvo
