#pragma once

#include "Date.h"
#include "Json.h"

#include <QDir>
#include <QString>
#include <QUuid>

#include <memory>
#include <variant>
#include <vector>

namespace tarvo {

class BackgroundWriter;

// One place deliveries went: a folder or an application.
struct RecentDestination {
    struct Kind {
        struct Folder {
            QString path;
            bool operator==(const Folder& other) const;
        };
        struct App {
            QString bundleID;
            bool operator==(const App& other) const;
        };

        std::variant<Folder, App> value;

        static Kind folder(QString path) { return {Folder{std::move(path)}}; }
        static Kind app(QString bundleID) { return {App{std::move(bundleID)}}; }
        template <class Case> const Case* as() const { return std::get_if<Case>(&value); }

        QJsonObject toJson() const;
        static Kind fromJson(const QJsonValue& value, const json::CodingPath& path = {});
        bool operator==(const Kind&) const = default;
    };

    QUuid id;
    Kind kind;
    Date lastUsed;
    qint64 uses = 1;

    // "lastUsed" as seconds since 2001-01-01 00:00:00 UTC, the date form of
    // "destinations.json".
    QJsonObject toJson() const;
    static RecentDestination fromJson(const QJsonValue& value, const json::CodingPath& path = {});
    bool operator==(const RecentDestination&) const = default;
};

// The most recently used destination folders and applications, newest first,
// at most `capacity`, kept in "destinations.json". A note changes the list at
// once; the file is written off the main thread, the newest list winning, and
// destroying the log finishes the write. Main thread only.
class DestinationLog final {
public:
    static constexpr qsizetype capacity = 12;

    // Loads the file whole, or starts empty when it is missing or damaged.
    explicit DestinationLog(QString fileURL);
    ~DestinationLog();
    DestinationLog(const DestinationLog&) = delete;
    DestinationLog& operator=(const DestinationLog&) = delete;

    const std::vector<RecentDestination>& entries() const { return m_entries; }
    const QString& fileURL() const { return m_fileURL; }

    void noteFolder(const QString& path, Date now);
    // The desktop's file manager is not a destination worth a chip: ignored.
    void noteApp(const QString& bundleID, Date now);

    // The first `count` entries worth offering, in stored order: applications
    // always, folders when they exist or lie inside the home folder.
    std::vector<RecentDestination> top(qsizetype count,
                                       const QString& homePath = QDir::homePath()) const;

    // Blocks until the newest list is written (quit, tests).
    void waitForWrites();

private:
    void note(RecentDestination::Kind kind, Date now);
    void save();

    std::vector<RecentDestination> m_entries;
    QString m_fileURL;
    std::unique_ptr<BackgroundWriter> m_writer;
};

} // namespace tarvo
