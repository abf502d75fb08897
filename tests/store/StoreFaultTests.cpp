// The store killed at random points, and the store on a disk that fills up.
// Both run the store in a child process (tests/store/StoreChild.cpp).
#include "StoreChildContent.h"

#include "TarvoCore/ItemStore.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <map>
#include <random>
#include <set>

using namespace tarvo;

namespace {

struct Shape {
    int parts = 0;
    qint64 size = 0;
};

// What the journal of one run says about the items.
class Journal final {
public:
    std::map<QUuid, Shape> shapes;
    std::set<QUuid> landed;   // reported added and not since touched
    std::set<QUuid> doubtful; // in flight when the child was killed: there or not, but whole

    void read(const QByteArray& output) {
        bool evicting = false;
        for (const QByteArray& line : output.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            const QByteArray& verb = words.front();
            const QUuid id =
                words.size() > 1 ? QUuid::fromString(QLatin1String(words[1])) : QUuid();
            if (verb == "adding" && words.size() == 4) {
                shapes[id] = Shape{words[2].toInt(), words[3].toLongLong()};
                doubtful.insert(id);
            } else if (verb == "added") {
                doubtful.erase(id);
                landed.insert(id);
            } else if (verb == "failed" || verb == "removed") {
                doubtful.erase(id);
            } else if (verb == "kept") {
                doubtful.erase(id);
                landed.insert(id);
            } else if (verb == "removing") {
                landed.erase(id);
                doubtful.insert(id);
            } else if (verb == "evicting") {
                evicting = true;
            } else if (verb == "evicted") {
                evicting = false;
                for (qsizetype i = 1; i < words.size(); ++i)
                    landed.erase(QUuid::fromString(QLatin1String(words[i])));
            }
        }
        if (evicting) {
            // Killed while trimming: any unpinned item may be on its way out.
            doubtful.insert(landed.begin(), landed.end());
            landed.clear();
        }
    }
};

} // namespace

TEST(StoreFaults, KilledAtRandomPointsNeverLosesOrHalfRemovesAnItem) {
    test::TempDir dir;
    const QString root = dir.file("Items");
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    Journal journal;
    int rounds = 0, landedTotal = 0, killedInFlight = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    while (rounds < 40 && (rounds < 12 || elapsed.elapsed() < 30000)) {
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QStringLiteral(TARVO_STORE_CHILD), {"crash", root, QString::number(random())});
        ASSERT_TRUE(child.waitForStarted(20000));
        QByteArray output;
        while (!output.contains('\n') && child.waitForReadyRead(20000))
            output += child.readAllStandardOutput();
        ASSERT_TRUE(output.startsWith("open ")) << child.readAllStandardError().toStdString();
        // Kill it at a random point of whatever it is doing.
        QThread::msleep(random() % 400);
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(20000));
        output += child.readAllStandardOutput();
        journal.read(output);
        killedInFlight += journal.doubtful.empty() ? 0 : 1;

        ItemStore store(root, 0);
        std::set<QUuid> present;
        for (const Item& item : store.items()) {
            present.insert(item.id);
            const auto shape = journal.shapes.find(item.id);
            ASSERT_NE(shape, journal.shapes.end()) << "an item nobody added";
            EXPECT_TRUE(journal.landed.contains(item.id) || journal.doubtful.contains(item.id))
                << "a removed item came back";
            EXPECT_TRUE(item.state.isReady());
            EXPECT_TRUE(test::childPayloadIntact(*item.payloadURL(root), item.id,
                                                 shape->second.parts, shape->second.size))
                << "round " << rounds << ": " << json::uuidText(item.id).toStdString()
                << " shows with a damaged payload";
        }
        for (const QUuid& id : journal.landed)
            EXPECT_TRUE(present.contains(id))
                << "round " << rounds << ": " << json::uuidText(id).toStdString()
                << " was reported added and is lost";
        if (::testing::Test::HasFailure())
            return;
        // What is on the shelf now is what the next round starts from.
        landedTotal += static_cast<int>(present.size());
        journal.landed = present;
        journal.doubtful.clear();
        ++rounds;
    }
    EXPECT_GE(rounds, 12);
    std::printf("%d rounds, %d killed mid-change, %d items checked\n", rounds, killedInFlight,
                landedTotal);
}

TEST(StoreFaults, FullDiskNeverLosesAnAddedItemNorKeepsARefusedOne) {
    test::TempDir dir;
    QProcess child;
    child.start(QStringLiteral(TARVO_STORE_CHILD), {"full", dir.path()});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString answer = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    if (answer == "unsupported")
        GTEST_SKIP() << "no tmpfs can be mounted here; the disk-full cases run through the seam";
    EXPECT_TRUE(answer.startsWith("ok "))
        << answer.toStdString() << child.readAllStandardError().toStdString();
    EXPECT_FALSE(answer.endsWith(" 0 refused by the store"))
        << "the store itself met the full disk";
    std::printf("%s\n", qPrintable(answer));
}
