// A child process for the store's crash and full-disk tests.
//
//   tarvo-test-store-child crash ROOT SEED [background]
//       adds, removes and evicts at random until it is killed, writing a
//       journal line to standard output before and after each step; with
//       "background" the store writes as the shell has it, and "synced"
//       says everything reported before it is on disk;
//   tarvo-test-store-child full FOLDER
//       mounts a 1 MiB tmpfs on FOLDER in a mount namespace of its own, fills
//       it through the store, reopens the store and checks that every item
//       reported added is there, intact, and nothing else; answers "ok", a
//       line starting "bad", or "unsupported" when no file system can be
//       mounted here.
#include "StoreChildContent.h"

#include "TarvoCore/ContentHash.h"
#include "TarvoCore/FileError.h"
#include "TarvoCore/ItemStore.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace tarvo;
using namespace tarvo::test;

namespace {

void say(const QByteArray& line) {
    const QByteArray text = line + '\n';
    // One write a line, so a kill never leaves half a line in the pipe.
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.constData(), text.size());
}

QByteArray idText(const QUuid& id) {
    return json::uuidText(id).toLatin1();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// Writes the payload as a drop would, then hands the item to the store.
std::optional<Item> prepare(ItemStore& store, int parts, qint64 size) {
    Item item;
    item.id = QUuid::createUuid();
    QString folder;
    try {
        folder = store.makeItemDirectory(item.id);
    } catch (const FileError&) {
        return std::nullopt;
    }
    QString payload;
    if (parts == 0) {
        payload = folder + QStringLiteral("/data.bin");
        if (!writeFile(payload, childPayload(item.id, 0, size))) {
            store.discardItemDirectory(item.id);
            return std::nullopt;
        }
        item.payload = ItemPayload::file(QStringLiteral("data.bin"));
    } else {
        payload = folder + QStringLiteral("/Folder");
        QDir().mkpath(payload);
        for (int part = 0; part < parts; ++part) {
            if (!writeFile(payload + u'/' + childPartName(part),
                           childPayload(item.id, part, size))) {
                store.discardItemDirectory(item.id);
                return std::nullopt;
            }
        }
        item.payload = ItemPayload::file(QStringLiteral("Folder"));
    }
    item.state = ItemState::ready();
    item.displayName = QStringLiteral("item");
    item.addedAt = Date::fromSecondsSince1970(1700000000);
    try {
        item.contentHash = ContentHash::ofPath(payload);
    } catch (const FileError&) {
        store.discardItemDirectory(item.id);
        return std::nullopt;
    }
    // Unique whatever the content: a folder fingerprints by name and time.
    item.contentHash += QLatin1String(idText(item.id));
    return item;
}

int crash(const QString& root, unsigned seed, bool background) {
    ItemStore store(root, 0);
    store.setWritesInBackground(background);
    say("open " + QByteArray::number(static_cast<qsizetype>(store.items().size())));
    std::mt19937 random(seed);
    auto below = [&](unsigned n) { return static_cast<int>(random() % n); };
    for (;;) {
        const int roll = below(100);
        if (roll < 60 || store.items().empty()) {
            const bool folder = below(4) == 0;
            const int parts = folder ? 20 + below(200) : 0;
            const qint64 size =
                folder ? 1 + below(8192) : (below(3) == 0 ? below(100) : 1 + below(3 << 20));
            std::optional<Item> item = prepare(store, parts, size);
            if (!item)
                continue;
            say("adding " + idText(item->id) + ' ' + QByteArray::number(parts) + ' ' +
                QByteArray::number(size));
            const ItemStore::AddResult result = store.add(*item);
            say((result.is<ItemStore::AddResult::Added>() ? "added " : "failed ") +
                idText(item->id));
            if (result.is<ItemStore::AddResult::Failed>())
                store.discardItemDirectory(item->id);
        } else if (roll < 90) {
            const Item& victim = store.items()[static_cast<size_t>(
                below(static_cast<unsigned>(store.items().size())))];
            const QUuid id = victim.id;
            say("removing " + idText(id));
            // A removal the disk refused is undone: the item stays.
            say((store.remove(id) ? "removed " : "kept ") + idText(id));
        } else {
            say("evicting");
            QByteArray line = "evicted";
            for (const QUuid& id : store.evictToCap(12 << 20))
                line += ' ' + idText(id);
            say(line);
        }
        if (background && below(10) == 0) {
            store.waitForWrites();
            say("synced");
        }
        QCoreApplication::processEvents();
    }
}

// A 1 MiB file system on `folder`, seen by this process alone and gone with it.
bool mountSmallDisk(const char* folder) {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", folder, "tmpfs", 0, "size=1m") == 0;
}

int full(const QString& folder) {
    const QString root = folder + QStringLiteral("/Items");
    std::vector<std::pair<QUuid, qint64>> added;
    int storeFailures = 0;
    {
        ItemStore store(root, 0);
        // Files until the disk is full, then ever smaller ones: the last adds
        // fail inside the store, writing "item.json" or the index.
        qint64 size = 64 * 1024;
        for (int misses = 0; misses < 12;) {
            std::optional<Item> item = prepare(store, 0, size);
            if (!item) {
                ++misses;
                size = size / 2;
                continue;
            }
            const ItemStore::AddResult result = store.add(*item);
            if (result.is<ItemStore::AddResult::Added>()) {
                added.emplace_back(item->id, size);
            } else {
                ++storeFailures;
                ++misses;
                store.discardItemDirectory(item->id);
            }
        }
        std::vector<QUuid> shown;
        for (const Item& item : store.items())
            shown.push_back(item.id);
        std::vector<QUuid> expected;
        for (auto it = added.rbegin(); it != added.rend(); ++it)
            expected.push_back(it->first);
        if (shown != expected) {
            say("bad: the shelf does not hold what was reported added");
            return 0;
        }
    }
    const ItemStore reopened(root);
    if (reopened.items().size() != added.size()) {
        say("bad: " + QByteArray::number(static_cast<qsizetype>(added.size())) + " added, " +
            QByteArray::number(static_cast<qsizetype>(reopened.items().size())) +
            " after reopening");
        return 0;
    }
    for (const auto& [id, size] : added) {
        const std::optional<Item> item = reopened.item(id);
        if (!item || !childPayloadIntact(*item->payloadURL(root), id, 0, size)) {
            say("bad: " + idText(id) + " is missing or damaged");
            return 0;
        }
    }
    say("ok " + QByteArray::number(static_cast<qsizetype>(added.size())) + " added, " +
        QByteArray::number(storeFailures) + " refused by the store");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "full" && argc == 3) {
        // Before Qt starts any thread: only a single-threaded process may
        // take a mount namespace of its own.
        if (!mountSmallDisk(argv[2])) {
            say("unsupported");
            return 0;
        }
        QCoreApplication app(argc, argv);
        return full(QFile::decodeName(argv[2]));
    }
    if (mode == "crash" && (argc == 4 || (argc == 5 && std::string(argv[4]) == "background"))) {
        QCoreApplication app(argc, argv);
        return crash(QFile::decodeName(argv[2]), static_cast<unsigned>(std::stoul(argv[3])),
                     argc == 5);
    }
    std::fprintf(stderr, "usage: %s crash ROOT SEED [background] | full FOLDER\n", argv[0]);
    return 2;
}
