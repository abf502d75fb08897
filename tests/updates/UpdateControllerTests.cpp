#include "MemoryUpdateTransport.h"
#include "UpdateCheckFixture.h"
#include "UpdatesPrinters.h"
#include "support/RecordingLogSink.h"

#include "TarvoCore/L10n.h"

#include <QDeadlineTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tarvo;
using namespace tarvo::test;

namespace {

const QUrl feedURL("https://updates.example.invalid/appcast.xml");
const QUrl archiveURL("https://updates.example.invalid/tarvo_2.1_amd64.deb");

struct Harness {
    TempDir downloads;
    Ed25519TestKey key;
    MemoryUpdateTransport* transport = nullptr;
    std::unique_ptr<UpdateController> controller;

    explicit Harness(qint64 currentBuild = 20, std::optional<QString> publicKey = std::nullopt) {
        auto owned = std::make_unique<MemoryUpdateTransport>();
        transport = owned.get();
        controller = std::make_unique<UpdateController>(feedURL, currentBuild, std::move(owned),
                                                        downloads.path(),
                                                        publicKey.value_or(key.publicKeyBase64()));
    }

    void serveFeed(const QByteArray& items) {
        transport->serve(feedURL, {{feedOf(items)}, std::nullopt, std::nullopt});
    }
    void serveArchive(std::vector<QByteArray> pieces,
                      std::optional<FetchFailure> failure = std::nullopt) {
        transport->serve(archiveURL, {std::move(pieces), failure, std::nullopt});
    }
};

AppcastItem itemWith(qint64 build, const char* url) {
    AppcastItem item;
    item.build = build;
    item.shortVersion = QString::number(build);
    item.url = QUrl(QString::fromLatin1(url));
    return item;
}

} // namespace

TEST(UpdateController, ChoosesTheNewestItemAboveTheRunningBuild) {
    const Harness h(11);
    const std::vector<AppcastItem> items = {
        itemWith(10, "https://e.invalid/10"), itemWith(14, "https://e.invalid/14-first"),
        itemWith(14, "https://e.invalid/14-second"), itemWith(12, "https://e.invalid/12")};
    EXPECT_EQ(h.controller->newestItem(items), items[1]);
    EXPECT_EQ(h.controller->newestItem({itemWith(11, "https://e.invalid/11")}), std::nullopt);
    EXPECT_EQ(h.controller->newestItem({}), std::nullopt);
    EXPECT_EQ(h.controller->newestItem({itemWith(-5, "https://e.invalid/a")}), std::nullopt);
}

TEST(UpdateController, UpToDateNeverFetchesTheArchive) {
    Harness h(21);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64("x"), "1") +
                feedItem("7", "0.7", archiveURL, h.key.signBase64("x"), "1"));
    EXPECT_EQ(runCheck(*h.controller), UpdateCheckResult::upToDate());
    EXPECT_EQ(h.transport->fetched(), std::vector<QUrl>{feedURL});
    EXPECT_TRUE(filesIn(h.downloads.path()).isEmpty());
}

TEST(UpdateController, StagesAVerifiedArchiveThatArrivesInPieces) {
    Harness h;
    const QByteArray archive = archiveOf(300000);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64(archive),
                         QString::number(archive.size())));
    h.serveArchive({archive.left(1000), archive.mid(1000, 200000), archive.mid(201000)});

    const UpdateCheckResult result = runCheck(*h.controller);
    const QString staged = h.downloads.file("Tarvo-2.1.deb");
    ASSERT_TRUE(std::holds_alternative<UpdateCheckResult::UpdateReady>(result.value))
        << result.description().toStdString();
    const auto& ready = std::get<UpdateCheckResult::UpdateReady>(result.value);
    EXPECT_EQ(ready.stagedAt, staged);
    EXPECT_EQ(ready.item.build, 21);
    EXPECT_EQ(ready.item.shortVersion, "2.1");
    EXPECT_EQ(h.downloads.read("Tarvo-2.1.deb"), archive);
    EXPECT_EQ(filesIn(h.downloads.path()), QStringList{"Tarvo-2.1.deb"});
    EXPECT_EQ(h.transport->fetched(), (std::vector<QUrl>{feedURL, archiveURL}));
}

TEST(UpdateController, WithoutAStatedLengthOnlyTheSignatureDecides) {
    Harness h;
    const QByteArray archive = archiveOf(5000);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64(archive), ""));
    h.serveArchive({archive});
    const UpdateCheckResult first = runCheck(*h.controller);
    ASSERT_TRUE(std::holds_alternative<UpdateCheckResult::UpdateReady>(first.value))
        << first.description().toStdString();
    EXPECT_EQ(std::get<UpdateCheckResult::UpdateReady>(first.value).stagedAt,
              h.downloads.file("Tarvo-2.1.deb"));
    // Checking again finds the same bytes staged and keeps the one copy.
    EXPECT_EQ(runCheck(*h.controller), first);
    EXPECT_EQ(filesIn(h.downloads.path()), QStringList{"Tarvo-2.1.deb"});
}

TEST(UpdateController, AnotherFileOfTheSameNameIsKept) {
    Harness h;
    const QByteArray archive = archiveOf(4000);
    h.downloads.write("Tarvo-2.1.deb", "the user's own file");
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64(archive), "4000"));
    h.serveArchive({archive});
    const UpdateCheckResult result = runCheck(*h.controller);
    ASSERT_TRUE(std::holds_alternative<UpdateCheckResult::UpdateReady>(result.value))
        << result.description().toStdString();
    EXPECT_EQ(std::get<UpdateCheckResult::UpdateReady>(result.value).stagedAt,
              h.downloads.file("Tarvo-2.1 2.deb"));
    EXPECT_EQ(h.downloads.read("Tarvo-2.1.deb"), "the user's own file");
    EXPECT_EQ(h.downloads.read("Tarvo-2.1 2.deb"), archive);
}

TEST(UpdateController, RefusalsStageNothingAndLeaveNothingBehind) {
    const QByteArray archive = archiveOf(4000);
    const QByteArray longer = archive + "!";
    const QString length = QString::number(archive.size());
    const Ed25519TestKey stranger;
    // The archive's feed item at `url`, signed with the harness's key.
    const auto signedAt = [&](const QUrl& url) {
        return [&, url](const Ed25519TestKey& k) {
            return feedItem("21", "2.1", url, k.signBase64(archive), length);
        };
    };
    const auto wellSigned = signedAt(archiveURL);
    const QString mismatch = "updates error: appcast length mismatch; refusing the download";
    const QString unverified =
        "updates error: appcast signature did not verify; refusing the download";
    const QString noKey =
        "updates error: no valid update signing key in this build; refusing the download";
    struct Case {
        const char* name;
        std::function<QByteArray(const Ed25519TestKey&)> feed;
        std::vector<QByteArray> pieces;
        std::optional<FetchFailure> archiveFailure;
        std::optional<QString> publicKey;
        QString message;
        QString logLine;
        bool archiveFetched;
    };
    const std::vector<Case> cases = {
        {"one byte short of the stated length",
         [&](const Ed25519TestKey& k) {
             return feedItem("21", "2.1", archiveURL, k.signBase64(archive.chopped(1)), length);
         },
         {archive.chopped(1)},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateMismatch(),
         mismatch,
         true},
        {"one byte longer, validly signed: the signature is not consulted",
         [&](const Ed25519TestKey& k) {
             return feedItem("21", "2.1", archiveURL, k.signBase64(longer), length);
         },
         {archive, "!"},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateMismatch(),
         mismatch,
         true},
        {"signed by another key",
         [&](const Ed25519TestKey&) {
             return feedItem("21", "2.1", archiveURL, stranger.signBase64(archive), length);
         },
         {archive},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateUnverified(),
         unverified,
         true},
        {"no signature",
         [&](const Ed25519TestKey&) { return feedItem("21", "2.1", archiveURL, "", length); },
         {archive},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateUnverified(),
         unverified,
         true},
        {"no signing key in the build",
         wellSigned,
         {archive},
         std::nullopt,
         QString(),
         L10n::aboutUpdateUnverified(),
         noKey,
         false},
        {"an undecodable signing key",
         wellSigned,
         {archive},
         std::nullopt,
         QString("not a key"),
         L10n::aboutUpdateUnverified(),
         noKey,
         false},
        {"a hostile short version",
         [&](const Ed25519TestKey& k) {
             return feedItem("21", "../../.bashrc", archiveURL, k.signBase64(archive), length);
         },
         {archive},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateUnsafeName(),
         "updates error: appcast names an unsafe file (version \u201c../../.bashrc\u201d, "
         "address https://updates.example.invalid/tarvo_2.1_amd64.deb); refusing the download",
         false},
        {"a short version with a line break",
         [&](const Ed25519TestKey&) {
             return "<item><sparkle:version>21</sparkle:version>"
                    "<sparkle:shortVersionString>2.1\nupdates notice: fine"
                    "</sparkle:shortVersionString><enclosure url=\"" +
                    archiveURL.toEncoded() + "\"/></item>";
         },
         {archive},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateUnsafeName(),
         "updates error: appcast names an unsafe file (version \u201c2.1\ufffdupdates notice: "
         "fine\u201d, address https://updates.example.invalid/tarvo_2.1_amd64.deb); refusing "
         "the download",
         false},
        {"an archive type that is not on the list",
         signedAt(QUrl("https://updates.example.invalid/tarvo.sh")),
         {archive},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateUnsafeName(),
         "updates error: appcast names an unsafe file (version \u201c2.1\u201d, address "
         "https://updates.example.invalid/tarvo.sh); refusing the download",
         false},
        {"an archive over plain http",
         signedAt(QUrl("http://updates.example.invalid/tarvo.deb")),
         {archive},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateInsecure(),
         "updates error: refusing the download at http://updates.example.invalid/tarvo.deb: "
         "not https",
         false},
        {"the archive breaks off",
         wellSigned,
         {archive.left(100)},
         FetchFailure{FetchFailure::Reason::network, "Connection closed"},
         std::nullopt,
         L10n::aboutUpdateFailed(),
         "updates notice: update check failed: Connection closed",
         true},
        {"a feed that is not well-formed",
         [&](const Ed25519TestKey&) { return QByteArray("<item><title>x</item>"); },
         {archive},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateFailed(),
         "updates notice: update check failed: malformedFeed(line 3, column 21: Opening and "
         "ending tag mismatch.)",
         false},
        {"a feed without usable items",
         [&](const Ed25519TestKey&) { return QByteArray("<item><title>x</title></item>"); },
         {archive},
         std::nullopt,
         std::nullopt,
         L10n::aboutUpdateFailed(),
         "updates notice: update check failed: noItems",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(20, c.publicKey);
        h.serveFeed(c.feed(h.key));
        h.serveArchive(c.pieces, c.archiveFailure);
        RecordingLogSink log;
        EXPECT_EQ(runCheck(*h.controller), UpdateCheckResult::failed(c.message));
        EXPECT_EQ(log.lines(), std::vector<QString>{c.logLine});
        EXPECT_EQ(h.transport->fetched().size(), c.archiveFetched ? 2u : 1u);
        EXPECT_EQ(h.transport->running(), 0);
        EXPECT_EQ(filesIn(h.downloads.path()), QStringList());
    }
}

TEST(UpdateController, ADownloadPastItsLengthIsCutOffAtOnce) {
    Harness h;
    const QByteArray archive = archiveOf(1000);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64(archive), "1000"));
    h.serveArchive({archive.left(600), archive.mid(600) + "extra", "never", "asked", "for"});
    EXPECT_EQ(runCheck(*h.controller), UpdateCheckResult::failed(L10n::aboutUpdateMismatch()));
    EXPECT_EQ(h.transport->piecesDelivered(archiveURL), 2);
    EXPECT_EQ(filesIn(h.downloads.path()), QStringList());
}

TEST(UpdateController, ADownloadWithoutLengthStopsAtTheLimit) {
    Harness h;
    h.controller->setArchiveByteLimit(10000);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64("x"), ""));
    h.serveArchive(std::vector<QByteArray>(100, archiveOf(4000)));
    RecordingLogSink log;
    EXPECT_EQ(runCheck(*h.controller), UpdateCheckResult::failed(L10n::aboutUpdateTooLarge()));
    EXPECT_EQ(log.lines(), std::vector<QString>{"updates error: the download passed 10000 bytes "
                                                "without a stated length; refusing it"});
    EXPECT_EQ(h.transport->piecesDelivered(archiveURL), 3);
    EXPECT_EQ(filesIn(h.downloads.path()), QStringList());
}

TEST(UpdateController, AnInsecureFeedAddressIsNeverFetched) {
    for (const char* address : {"http://updates.example.invalid/appcast.xml",
                                "file:///tmp/appcast.xml", "ftp://e.invalid/appcast.xml", ""}) {
        SCOPED_TRACE(address);
        const TempDir downloads;
        const Ed25519TestKey key;
        auto transport = std::make_unique<MemoryUpdateTransport>();
        const MemoryUpdateTransport* seen = transport.get();
        UpdateController controller(QUrl(QString::fromLatin1(address)), 20, std::move(transport),
                                    downloads.path(), key.publicKeyBase64());
        EXPECT_EQ(runCheck(controller), UpdateCheckResult::failed(L10n::aboutUpdateInsecure()));
        EXPECT_TRUE(seen->fetched().empty());
    }
}

TEST(UpdateController, ACheckAskedForWhileOneRunsJoinsIt) {
    Harness h;
    const QByteArray archive = archiveOf(3000);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64(archive), "3000"));
    h.transport->serve(archiveURL, {{archive.left(1000), archive.mid(1000)}, std::nullopt, 1});

    std::vector<UpdateCheckResult> results;
    const auto record = [&](const UpdateCheckResult& r) { results.push_back(r); };
    h.controller->check(nullptr, record);
    EXPECT_TRUE(h.controller->isChecking());
    ASSERT_TRUE(waitUntil([&] { return h.transport->fetched().size() == 2; }));
    h.controller->check(nullptr, record);
    h.controller->check(nullptr, record);
    EXPECT_TRUE(results.empty());
    h.transport->resume();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 3; }));
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[1], results[2]);
    EXPECT_TRUE(std::holds_alternative<UpdateCheckResult::UpdateReady>(results[0].value));
    EXPECT_EQ(h.transport->fetched(), (std::vector<QUrl>{feedURL, archiveURL}));
    EXPECT_FALSE(h.controller->isChecking());

    // The next check is a check of its own.
    h.serveArchive({archive});
    EXPECT_EQ(runCheck(*h.controller), results[0]);
    EXPECT_EQ(h.transport->fetched().size(), 4u);
}

TEST(UpdateController, AWaiterWhoseContextIsGoneHearsNothing) {
    Harness h(21);
    h.serveFeed(feedItem("21", "2.1", archiveURL, "", ""));
    bool called = false;
    auto context = std::make_unique<QObject>();
    h.controller->check(context.get(), [&](const UpdateCheckResult&) { called = true; });
    context.reset();
    EXPECT_EQ(runCheck(*h.controller), UpdateCheckResult::upToDate());
    EXPECT_FALSE(called);
}

TEST(UpdateController, DestroyedMidDownloadItRemovesThePartialFile) {
    Harness h;
    const QByteArray archive = archiveOf(3000);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64(archive), "3000"));
    h.transport->serve(archiveURL, {{archive.left(1000), archive.mid(1000)}, std::nullopt, 1});
    bool called = false;
    h.controller->check(nullptr, [&](const UpdateCheckResult&) { called = true; });
    ASSERT_TRUE(waitUntil([&] { return h.transport->piecesDelivered(archiveURL) == 1; }));
    ASSERT_EQ(filesIn(h.downloads.path()).size(), 1);
    EXPECT_TRUE(filesIn(h.downloads.path()).front().startsWith(".Tarvo-2.1.deb."));

    h.controller.reset();
    EXPECT_EQ(filesIn(h.downloads.path()), QStringList());
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
}

TEST(UpdateController, AWaiterMayStartTheNextCheckAndDestroyTheController) {
    Harness h(21);
    h.serveFeed(feedItem("21", "2.1", archiveURL, "", ""));
    int calls = 0;
    h.controller->check(nullptr, [&](const UpdateCheckResult&) {
        ++calls;
        h.controller->check(nullptr, [&](const UpdateCheckResult&) {
            ++calls;
            h.controller.reset();
        });
    });
    ASSERT_TRUE(waitUntil([&] { return calls == 2; }));
    EXPECT_EQ(h.controller, nullptr);
}

// The flush, verification and move run on a thread of their own while the
// event loop keeps turning; the result comes back on the loop's thread.
TEST(UpdateController, StagingRunsOffTheEventLoopsThread) {
    Harness h;
    const QByteArray archive = archiveOf(5000);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64(archive), "5000"));
    h.serveArchive({archive});
    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
    std::atomic<bool> sawRelease{false};
    std::thread::id stagingThread;
    h.controller->setStagingHook([&](const std::atomic<bool>&) {
        stagingThread = std::this_thread::get_id();
        entered.store(true);
        // Released from the loop's thread only while that loop turns.
        const QDeadlineTimer deadline(30000);
        while (!released.load() && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        sawRelease.store(released.load());
    });
    std::optional<UpdateCheckResult> result;
    std::thread::id reportedOn;
    h.controller->check(nullptr, [&](const UpdateCheckResult& r) {
        reportedOn = std::this_thread::get_id();
        result = r;
    });
    ASSERT_TRUE(waitUntil([&] {
        if (entered.load())
            released.store(true);
        return result.has_value();
    }));
    EXPECT_TRUE(sawRelease.load());
    EXPECT_NE(stagingThread, std::this_thread::get_id());
    EXPECT_EQ(reportedOn, std::this_thread::get_id());
    EXPECT_TRUE(std::holds_alternative<UpdateCheckResult::UpdateReady>(result->value))
        << result->description().toStdString();
    EXPECT_EQ(filesIn(h.downloads.path()), QStringList{"Tarvo-2.1.deb"});
}

TEST(UpdateController, DestroyedWhileStagingItLeavesNothingAndCallsNobody) {
    Harness h;
    const QByteArray archive = archiveOf(5000);
    h.serveFeed(feedItem("21", "2.1", archiveURL, h.key.signBase64(archive), "5000"));
    h.serveArchive({archive});
    std::atomic<bool> entered{false};
    h.controller->setStagingHook([&](const std::atomic<bool>& dropped) {
        entered.store(true);
        const QDeadlineTimer deadline(30000);
        while (!dropped.load() && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    bool called = false;
    h.controller->check(nullptr, [&](const UpdateCheckResult&) { called = true; });
    ASSERT_TRUE(waitUntil([&] { return entered.load(); }));
    h.controller.reset();
    EXPECT_EQ(filesIn(h.downloads.path()), QStringList());
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
}
