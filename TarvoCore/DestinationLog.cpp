#include "DestinationLog.h"

#include "AppCategoryMap.h"
#include "AtomicFile.h"
#include "BackgroundWriter.h"
#include "CanonicalText.h"
#include "FileError.h"
#include "Files.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tarvo {

bool RecentDestination::Kind::Folder::operator==(const Folder& other) const {
    return CanonicalText::equal(path, other.path);
}

bool RecentDestination::Kind::App::operator==(const App& other) const {
    return CanonicalText::equal(bundleID, other.bundleID);
}

QJsonObject RecentDestination::Kind::toJson() const {
    if (const auto* f = as<Folder>())
        return json::encodeCase(QStringLiteral("folder"), {{QStringLiteral("path"), f->path}});
    const auto& a = std::get<App>(value);
    return json::encodeCase(QStringLiteral("app"), {{QStringLiteral("bundleID"), a.bundleID}});
}

RecentDestination::Kind RecentDestination::Kind::fromJson(const QJsonValue& value,
                                                          const json::CodingPath& path) {
    const auto decoded = json::decodeCase(value, path, {"folder", "app"});
    const json::ObjectReader r(decoded.values, decoded.path);
    if (decoded.index == 0)
        return folder(r.string(QStringLiteral("path")));
    return app(r.string(QStringLiteral("bundleID")));
}

QJsonObject RecentDestination::toJson() const {
    return {{QStringLiteral("id"), json::uuidText(id)},
            {QStringLiteral("kind"), kind.toJson()},
            {QStringLiteral("lastUsed"), lastUsed.secondsSinceReferenceDate()},
            {QStringLiteral("uses"), uses}};
}

RecentDestination RecentDestination::fromJson(const QJsonValue& value,
                                              const json::CodingPath& path) {
    const json::ObjectReader r(value, path);
    RecentDestination d;
    d.id = r.uuid(QStringLiteral("id"));
    d.kind = Kind::fromJson(r.value(QStringLiteral("kind")), r.pathTo(QStringLiteral("kind")));
    d.lastUsed = Date::fromSecondsSinceReferenceDate(r.number(QStringLiteral("lastUsed")));
    d.uses = r.integer(QStringLiteral("uses"));
    return d;
}

DestinationLog::DestinationLog(QString fileURL)
    : m_fileURL(std::move(fileURL)), m_writer(std::make_unique<BackgroundWriter>(
                                         QStringLiteral("com.tarvoapp.Tarvo.destinations"))) {
    QFile file(m_fileURL);
    if (!file.open(QIODevice::ReadOnly))
        return;
    try {
        const QJsonValue value = json::parse(file.readAll());
        if (!value.isArray())
            return;
        const QJsonArray array = value.toArray();
        std::vector<RecentDestination> entries;
        entries.reserve(static_cast<size_t>(array.size()));
        for (qsizetype i = 0; i < array.size(); ++i)
            entries.push_back(RecentDestination::fromJson(array.at(i), {QString::number(i)}));
        m_entries = std::move(entries);
    } catch (const json::DecodingError&) {
        // A damaged log is worth nothing; the next note rewrites it.
    }
}

void DestinationLog::noteFolder(const QString& path, Date now) {
    note(RecentDestination::Kind::folder(path), now);
}

void DestinationLog::noteApp(const QString& bundleID, Date now) {
    if (AppCategoryMap::isFileManager(bundleID))
        return;
    note(RecentDestination::Kind::app(bundleID), now);
}

void DestinationLog::note(RecentDestination::Kind kind, Date now) {
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&](const RecentDestination& e) { return e.kind == kind; });
    if (it != m_entries.end()) {
        it->lastUsed = now;
        it->uses += 1;
    } else {
        m_entries.push_back({QUuid::createUuid(), std::move(kind), now, 1});
    }
    // Sorting positions rather than the entries themselves keeps the stable sort's
    // scratch buffer free of variants, which GCC 12 misreads as uninitialised.
    std::vector<size_t> order(m_entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
        const RecentDestination& x = m_entries[a];
        const RecentDestination& y = m_entries[b];
        if (x.lastUsed != y.lastUsed)
            return x.lastUsed > y.lastUsed;
        return x.uses > y.uses;
    });
    const size_t kept = std::min(order.size(), static_cast<size_t>(capacity));
    std::vector<RecentDestination> sorted;
    sorted.reserve(kept);
    for (size_t i = 0; i < kept; ++i)
        sorted.push_back(std::move(m_entries[order[i]]));
    m_entries = std::move(sorted);
    save();
}

std::vector<RecentDestination> DestinationLog::top(qsizetype count, const QString& homePath) const {
    QString home = CanonicalText::form(homePath);
    while (home.size() > 1 && home.endsWith(u'/'))
        home.chop(1);
    // Inside the home folder means the home folder itself or below it, by whole
    // path components: "/home/ann" does not hold "/home/anna".
    const auto insideHome = [&](const QString& path) {
        if (home.isEmpty())
            return false;
        const QString p = CanonicalText::form(path);
        if (home == u'/')
            return p.startsWith(u'/');
        return p == home || p.startsWith(home + u'/');
    };

    std::vector<RecentDestination> result;
    for (const RecentDestination& entry : m_entries) {
        if (static_cast<qsizetype>(result.size()) >= count)
            break;
        if (const auto* folder = entry.kind.as<RecentDestination::Kind::Folder>()) {
            if (!QFileInfo::exists(folder->path) && !insideHome(folder->path))
                continue;
        }
        result.push_back(entry);
    }
    return result;
}

void DestinationLog::save() {
    QJsonArray array;
    for (const RecentDestination& entry : m_entries)
        array.append(entry.toJson());
    m_writer->write(
        m_fileURL, [data = json::write(QJsonValue(array), json::Style::compact), path = m_fileURL] {
            try {
                Files::makeDirectories(QFileInfo(path).path());
            } catch (const FileError&) {
                // The write below fails as well and is equally ignored.
            }
            try {
                AtomicFile::write(data, path);
            } catch (const FileError&) {
                // The list in memory stays right for the rest of the run.
            }
        });
}

DestinationLog::~DestinationLog() = default;

void DestinationLog::waitForWrites() {
    m_writer->waitForIdle();
}

} // namespace tarvo
