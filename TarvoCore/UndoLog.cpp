#include "UndoLog.h"

#include "FileError.h"
#include "Files.h"
#include "Fingerprint.h"
#include "L10n.h"
#include "Log.h"

#include <QFileInfo>

#include <algorithm>

namespace tarvo {

namespace {

QString lastComponent(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

QString UndoLog::Outcome::message() const {
    switch (value.index()) {
    case 0:
        return L10n::undoDone();
    case 1:
        return L10n::undoRestoredOnly();
    case 2:
        return L10n::undoFileChanged();
    default:
        return L10n::undoNothing();
    }
}

void UndoLog::record(const UndoEntry& entry) {
    const std::lock_guard lock(m_mutex);
    m_entries.push_back(entry);
}

std::optional<UndoEntry> UndoLog::mostRecent(Date now) {
    const std::lock_guard lock(m_mutex);
    pruneLocked(now);
    if (m_entries.empty())
        return std::nullopt;
    return m_entries.back();
}

bool UndoLog::isEmpty(Date now) {
    return !mostRecent(now).has_value();
}

void UndoLog::forget(const QUuid& id) {
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const UndoEntry& e) { return e.id == id; });
}

void UndoLog::clear() {
    const std::lock_guard lock(m_mutex);
    m_entries.clear();
}

bool UndoLog::take(const QUuid& id) {
    const std::lock_guard lock(m_mutex);
    return std::erase_if(m_entries, [&](const UndoEntry& e) { return e.id == id; }) > 0;
}

void UndoLog::pruneLocked(Date now) {
    // An entry exactly `window` seconds old is still undoable.
    std::erase_if(m_entries, [&](const UndoEntry& e) { return now.secondsSince(e.at) > window; });
}

UndoLog::Outcome UndoLog::undo(const UndoEntry& entry, Date now) {
    if (!(now.secondsSince(entry.at) <= window))
        return Outcome::expired();
    // Two undos of one entry, even at once from two threads: one of them
    // finds it gone.
    if (!take(entry.id))
        return Outcome::expired();

    if (entry.writtenURLs.isEmpty())
        return Outcome::restoredOnly();

    const qsizetype compared = std::min(entry.writtenURLs.size(), entry.hashes.size());
    for (qsizetype i = 0; i < compared; ++i) {
        const QString& path = entry.writtenURLs[i];
        if (!Files::exists(path))
            continue;
        bool same = false;
        try {
            same = Fingerprint::ofWritten(path) == entry.hashes[i];
        } catch (const FileError&) {
            // Unreadable counts as changed: deleting what cannot be checked is
            // not safe.
        }
        if (!same) {
            Log::deliver().notice(
                QStringLiteral("undo refused: %1 changed since delivery").arg(lastComponent(path)));
            return Outcome::refusedFileChanged();
        }
    }

    int removed = 0;
    // Only what was compared is deleted: a file recorded without a fingerprint
    // is left where it is.
    for (qsizetype i = 0; i < compared; ++i) {
        const QString& path = entry.writtenURLs[i];
        if (!Files::exists(path))
            continue;
        if (Files::removeRecursively(path))
            ++removed;
        else
            Log::deliver().error(
                QStringLiteral("undo could not remove %1").arg(lastComponent(path)));
    }
    return Outcome::restoredAndDeleted(removed);
}

} // namespace tarvo
