#pragma once

#include "Json.h"
#include "RuleModel.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvo {

// Sorts applications, by bundle identifier (on Linux, the desktop-file id), into
// categories: the user's overrides first, then the built-in tables. Also keeps
// the applications met so far and the ones the user pinned. A plain value: the
// rules store owns the live copy, others hold copies.
struct AppCategoryMap {
    // Keyed by the composed form of the identifier, so equivalent texts meet.
    QHash<QString, AppCategory> overrides;
    // In the order first met, without repeats.
    QStringList seen;
    // In the order pinned, without repeats.
    QStringList pinned;

    // The built-in table of well-known applications, built once on first use.
    static const QHash<QString, AppCategory>& seed();
    // The same families of applications under their Linux desktop-file ids,
    // asked after `seed` wherever the built-in tables are.
    static const QHash<QString, AppCategory>& linuxSeed();
    // The category the built-in tables give, `seed` first.
    static std::optional<AppCategory> builtInCategory(const QString& bundleID);
    // Every identifier of the built-in tables: `seed`'s, then the Linux rows',
    // each table sorted ascending.
    static QStringList builtInBundleIDs();
    // Whether the built-in tables know the identifier as the desktop's file
    // manager. Overrides do not count: they change rules, not what the
    // application is.
    static bool isFileManager(const QString& bundleID);

    AppCategory category(const std::optional<QString>& bundleID) const;
    void setCategory(AppCategory category, const QString& bundleID);
    void clearOverride(const QString& bundleID);
    // True when the identifier was new.
    bool noteSeen(const QString& bundleID);
    void pin(const QString& bundleID);
    void unpin(const QString& bundleID);
    void forget(const QString& bundleID);
    bool isPinned(const QString& bundleID) const;
    // Seen, overridden or pinned identifiers, once each, sorted ascending.
    QStringList listedBundleIDs() const;

    // {"overrides": {id: raw category}, "seen": [...], "pinned": [...]}.
    QJsonObject toJson() const;
    // Missing or null members read as empty; a wrong type or an unknown
    // category fails with DecodingError.
    static AppCategoryMap fromJson(const QJsonValue& value, const json::CodingPath& path = {});

    bool operator==(const AppCategoryMap& other) const;
};

} // namespace tarvo
