// Settings, rules, categories and the destination log change in memory at
// once and reach their files off the calling thread: one write of a file at a
// time, the newest value winning, everything on disk once waited for.
#include "TarvoCore/BackgroundWriter.h"
#include "TarvoCore/DestinationLog.h"
#include "TarvoCore/DiskIO.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RulesStore.h"
#include "TarvoCore/UserDefaults.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>

using namespace tarvo;

namespace {

// Holds every write of files ending in `suffix` until released, and counts
// them and the ones made on the thread that made the gate.
class WriteGate final {
public:
    explicit WriteGate(QString suffix) : m_suffix(std::move(suffix)) {
        DiskIO::setObserver([this](DiskIO::Call call, const QString& path, const QString&) {
            if (call != DiskIO::Call::write || !path.endsWith(m_suffix))
                return 0;
            std::unique_lock lock(m_mutex);
            ++m_writes;
            if (std::this_thread::get_id() == m_owner) {
                ++m_onCaller;
                return 0; // never hold up the caller: that would be the fault itself
            }
            m_open.wait_for(lock, std::chrono::seconds(30), [this] { return m_released; });
            return 0;
        });
    }
    ~WriteGate() {
        release();
        DiskIO::setObserver({});
    }
    void release() {
        {
            const std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_open.notify_all();
    }
    int writes() const {
        const std::lock_guard lock(m_mutex);
        return m_writes;
    }
    int onCaller() const {
        const std::lock_guard lock(m_mutex);
        return m_onCaller;
    }

private:
    QString m_suffix;
    std::thread::id m_owner = std::this_thread::get_id();
    mutable std::mutex m_mutex;
    std::condition_variable m_open;
    bool m_released = false;
    int m_writes = 0;
    int m_onCaller = 0;
};

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(BackgroundWriter, WritesOneAtATimeAndOnlyTheNewestOfAFileWaits) {
    std::mutex mutex;
    std::condition_variable changed;
    bool firstStarted = false, firstMayEnd = false;
    std::vector<std::string> ran;
    std::vector<std::thread::id> threads;
    auto job = [&](std::string name) {
        return [&, name] {
            const std::lock_guard lock(mutex);
            ran.push_back(name);
            threads.push_back(std::this_thread::get_id());
        };
    };
    BackgroundWriter writer(QStringLiteral("test-writer"));
    writer.write("a", [&] {
        std::unique_lock lock(mutex);
        firstStarted = true;
        changed.notify_all();
        changed.wait(lock, [&] { return firstMayEnd; });
        ran.push_back("a1");
        threads.push_back(std::this_thread::get_id());
    });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return firstStarted; }));
    }
    writer.write("b", job("b1"));
    writer.write("a", job("a2"));
    writer.write("b", job("b2"));
    writer.write("a", job("a3"));
    {
        const std::lock_guard lock(mutex);
        firstMayEnd = true;
    }
    changed.notify_all();
    writer.waitForIdle();
    EXPECT_EQ(ran, (std::vector<std::string>{"a1", "b2", "a3"}))
        << "files in the order they first waited, each with its newest write";
    for (const std::thread::id& id : threads)
        EXPECT_NE(id, std::this_thread::get_id());

    writer.write("c", job("c1"));
    writer.waitForIdle();
    EXPECT_EQ(ran.back(), "c1") << "a writer gone idle takes new writes";
}

// Each change is seen at once; while the disk holds the first write back,
// the caller goes on, and the later changes end as one more write.
TEST(BackgroundWrites, ChangesNeverWaitForTheDisk) {
    struct Case {
        const char* name;
        QString file;
        std::function<void(const QString& folder, const std::function<void(int)>&)> run;
    };
    const std::vector<Case> cases = {
        {"a counted drop", "Tarvo.conf",
         [](const QString& folder, const std::function<void(int)>& step) {
             UserDefaults defaults(folder + "/Tarvo.conf");
             Preferences prefs(defaults);
             for (int i = 1; i <= 3; ++i) {
                 prefs.countDrop();
                 EXPECT_EQ(prefs.dropCount(), i);
                 step(i);
             }
         }},
        {"a newly seen application", "categories.json",
         [](const QString& folder, const std::function<void(int)>& step) {
             RulesStore store(folder);
             for (int i = 1; i <= 3; ++i) {
                 EXPECT_TRUE(store.noteSeen(QStringLiteral("app.number%1").arg(i)));
                 EXPECT_EQ(store.categories().seen.size(), i);
                 step(i);
             }
         }},
        {"a destination", "destinations.json",
         [](const QString& folder, const std::function<void(int)>& step) {
             DestinationLog log(folder + "/destinations.json");
             for (int i = 1; i <= 3; ++i) {
                 log.noteApp(QStringLiteral("app.number%1").arg(i),
                             Date::fromSecondsSince1970(1000 + i));
                 EXPECT_EQ(log.entries().size(), size_t(i));
                 step(i);
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const QString folder = dir.file("Tarvo");
        WriteGate gate("/" + c.file);
        c.run(folder, [&](int i) {
            if (i == 1) {
                // The first write is under way and held: the next changes
                // must not wait for it.
                for (int tries = 0; tries < 3000 && gate.writes() == 0; ++tries)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                EXPECT_EQ(gate.writes(), 1);
            }
            if (i == 3)
                gate.release();
        });
        // Leaving `run` destroyed the owner, which finished its writes.
        EXPECT_EQ(gate.onCaller(), 0);
        EXPECT_LE(gate.writes(), 2) << "the second and third change make one write";
        const QByteArray text = readFile(folder + "/" + c.file);
        EXPECT_TRUE(text.contains("3")) << text.constData();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(folder + "/" + c.file).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}
