// The whole update check over real https: a server on 127.0.0.1 with a
// throwaway certificate, Qt Network and OpenSSL in between.
#include "LocalHttpsServer.h"
#include "UpdateCheckFixture.h"
#include "UpdatesPrinters.h"
#include "support/RecordingLogSink.h"

#include "TarvoCore/L10n.h"
#include "TarvoUpdates/URLSessionUpdateTransport.h"

#include <gtest/gtest.h>

using namespace tarvo;
using namespace tarvo::test;
using namespace std::chrono_literals;
using Route = LocalHttpsServer::Route;

namespace {

struct Session {
    LocalHttpsServer server;
    TempDir downloads;
    Ed25519TestKey key;

    std::unique_ptr<UpdateController> controller(std::chrono::milliseconds timeout = 20s,
                                                 bool trustServer = true) {
        URLSessionUpdateTransport::Options options;
        options.timeout = timeout;
        if (trustServer)
            options.extraCaCertificates = {server.certificate()};
        return std::make_unique<UpdateController>(
            server.url("/appcast.xml"), 20, std::make_unique<URLSessionUpdateTransport>(options),
            downloads.path(), key.publicKeyBase64());
    }
    // A controller whose every request must end within a second, with an idle
    // time-out far longer than any wait of the test.
    std::unique_ptr<UpdateController> hurriedController() {
        auto made = controller(600s);
        made->setRequestDeadline(UpdateController::RequestDeadline{1000ms, qint64(1) << 40});
        return made;
    }

    void serveFeed(const QByteArray& items, Route::Kind kind = Route::Kind::respond) {
        server.route("/appcast.xml", Route{kind, 200, feedOf(items), {}});
    }
    QUrl archiveURL() const { return server.url("/tarvo_2.1_amd64.deb"); }
};

} // namespace

TEST(UpdateCheckHttps, UpToDate) {
    Session s;
    ASSERT_TRUE(s.server.isListening());
    s.serveFeed(feedItem("20", "2.0", s.archiveURL(), s.key.signBase64("x"), "1"));
    const auto controller = s.controller();
    EXPECT_EQ(runCheck(*controller), UpdateCheckResult::upToDate());
    EXPECT_EQ(s.server.requestedPaths(), std::vector<QByteArray>{"/appcast.xml"});
    EXPECT_EQ(s.server.requests().at(0).headers.value("user-agent"), "Tarvo");
}

TEST(UpdateCheckHttps, UpdateReadyAndStaged) {
    Session s;
    const QByteArray archive = archiveOf(700000);
    s.server.route("/appcast.xml",
                   Route{Route::Kind::respond,
                         200,
                         feedOf(feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive),
                                         QString::number(archive.size()))),
                         {{"Set-Cookie", "session=abc; Path=/"}}});
    s.server.route("/tarvo_2.1_amd64.deb", Route{Route::Kind::respond, 200, archive, {}});
    const auto controller = s.controller();

    const UpdateCheckResult result = runCheck(*controller);
    ASSERT_TRUE(std::holds_alternative<UpdateCheckResult::UpdateReady>(result.value))
        << result.description().toStdString();
    EXPECT_EQ(std::get<UpdateCheckResult::UpdateReady>(result.value).stagedAt,
              s.downloads.file("Tarvo-2.1.deb"));
    EXPECT_EQ(s.downloads.read("Tarvo-2.1.deb"), archive);
    EXPECT_EQ(filesIn(s.downloads.path()), QStringList{"Tarvo-2.1.deb"});

    ASSERT_EQ(s.server.requestedPaths(),
              (std::vector<QByteArray>{"/appcast.xml", "/tarvo_2.1_amd64.deb"}));
    for (const LocalHttpsServer::Request& request : s.server.requests()) {
        SCOPED_TRACE(request.path.toStdString());
        EXPECT_EQ(request.headers.value("user-agent"), "Tarvo");
        EXPECT_EQ(request.headers.value("accept-encoding"), "identity");
        EXPECT_FALSE(request.headers.contains("cookie"));
    }
}

TEST(UpdateCheckHttps, ARedirectToHttpsIsFollowed) {
    Session s;
    s.server.route("/appcast.xml",
                   Route{Route::Kind::respond,
                         301,
                         "moved",
                         {{"Location", s.server.url("/current/appcast.xml").toEncoded()}}});
    s.server.route(
        "/current/appcast.xml",
        Route{
            Route::Kind::respond, 200, feedOf(feedItem("19", "1.9", s.archiveURL(), "", "")), {}});
    const auto controller = s.controller();
    EXPECT_EQ(runCheck(*controller), UpdateCheckResult::upToDate());
    EXPECT_EQ(s.server.requestedPaths(),
              (std::vector<QByteArray>{"/appcast.xml", "/current/appcast.xml"}));
}

TEST(UpdateCheckHttps, RefusalsAndFailures) {
    const QByteArray archive = archiveOf(200000);
    const QString length = QString::number(archive.size());
    struct Case {
        const char* name;
        std::function<void(Session&)> serve;
        QString message;
        QString logLine; // compared up to its length
        std::vector<QByteArray> paths;
        std::chrono::milliseconds timeout = 20s;
        qint64 archiveLimit = UpdateController::archiveByteLimit;
    };
    const std::vector<Case> cases = {
        {"length mismatch: one byte more than the feed states",
         [&](Session& s) {
             s.serveFeed(feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive), length));
             s.server.route("/tarvo_2.1_amd64.deb",
                            Route{Route::Kind::respond, 200, archive + "!", {}});
         },
         L10n::aboutUpdateMismatch(),
         "updates error: appcast length mismatch; refusing the download",
         {"/appcast.xml", "/tarvo_2.1_amd64.deb"}},
        {"bad signature",
         [&](Session& s) {
             QByteArray tampered = archive;
             tampered[5000] = 'X';
             s.serveFeed(feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive), length));
             s.server.route("/tarvo_2.1_amd64.deb", Route{Route::Kind::respond, 200, tampered, {}});
         },
         L10n::aboutUpdateUnverified(),
         "updates error: appcast signature did not verify; refusing the download",
         {"/appcast.xml", "/tarvo_2.1_amd64.deb"}},
        {"hostile short version",
         [&](Session& s) {
             s.serveFeed(feedItem("21", "../../.bashrc", s.archiveURL(), s.key.signBase64(archive),
                                  length));
             s.server.route("/tarvo_2.1_amd64.deb", Route{Route::Kind::respond, 200, archive, {}});
         },
         L10n::aboutUpdateUnsafeName(),
         "updates error: appcast names an unsafe file (version \u201c../../.bashrc\u201d",
         {"/appcast.xml"}},
        {"endless download past the stated length",
         [&](Session& s) {
             s.serveFeed(feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive), length));
             s.server.route("/tarvo_2.1_amd64.deb", Route{Route::Kind::endless, 200, {}, {}});
         },
         L10n::aboutUpdateMismatch(),
         "updates error: appcast length mismatch; refusing the download",
         {"/appcast.xml", "/tarvo_2.1_amd64.deb"}},
        {"a stated length over the cap is refused before the download",
         [&](Session& s) {
             s.serveFeed(
                 feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive), "1099511627776"));
             s.server.route("/tarvo_2.1_amd64.deb", Route{Route::Kind::endless, 200, {}, {}});
         },
         L10n::aboutUpdateTooLarge(),
         "updates error: the feed states a download of 1099511627776 bytes, more than the "
         "8388608 allowed; refusing it",
         {"/appcast.xml"},
         20s,
         8 << 20},
        {"endless download without a stated length",
         [&](Session& s) {
             s.serveFeed(feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive), ""));
             s.server.route("/tarvo_2.1_amd64.deb", Route{Route::Kind::endless, 200, {}, {}});
         },
         L10n::aboutUpdateTooLarge(),
         "updates error: the download passed 1048576 bytes without a stated length; refusing it",
         {"/appcast.xml", "/tarvo_2.1_amd64.deb"},
         20s,
         1 << 20},
        {"404 for the feed",
         [&](Session&) {},
         L10n::aboutUpdateFailed(),
         "updates notice: update check failed: HTTP 404",
         {"/appcast.xml"}},
        {"500 for the archive",
         [&](Session& s) {
             s.serveFeed(feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive), length));
             s.server.route("/tarvo_2.1_amd64.deb",
                            Route{Route::Kind::respond, 500, "try later", {}});
         },
         L10n::aboutUpdateFailed(),
         "updates notice: update check failed: HTTP 500",
         {"/appcast.xml", "/tarvo_2.1_amd64.deb"}},
        {"304 for the feed",
         [&](Session& s) {
             s.server.route("/appcast.xml", Route{Route::Kind::respond, 304, {}, {}});
         },
         L10n::aboutUpdateFailed(),
         "updates notice: update check failed: HTTP 304",
         {"/appcast.xml"}},
        {"time-out: the server never answers",
         [&](Session& s) { s.serveFeed("", Route::Kind::silent); },
         L10n::aboutUpdateFailed(),
         "updates notice: update check failed: no answer within the time-out",
         {"/appcast.xml"},
         500ms},
        {"redirect to http",
         [&](Session& s) {
             QUrl insecure = s.server.url("/plain/appcast.xml");
             insecure.setScheme("http");
             s.server.route(
                 "/appcast.xml",
                 Route{Route::Kind::respond, 302, "moved", {{"Location", insecure.toEncoded()}}});
         },
         L10n::aboutUpdateInsecure(),
         "updates notice: update check failed: redirect to http://127.0.0.1:",
         {"/appcast.xml"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        ASSERT_TRUE(s.server.isListening());
        c.serve(s);
        const auto controller = s.controller(c.timeout);
        controller->setArchiveByteLimit(c.archiveLimit);
        RecordingLogSink log;
        EXPECT_EQ(runCheck(*controller), UpdateCheckResult::failed(c.message));
        const std::vector<QString> lines = log.lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].left(c.logLine.size()), c.logLine);
        EXPECT_EQ(s.server.requestedPaths(), c.paths);
        EXPECT_EQ(filesIn(s.downloads.path()), QStringList());
        // An endless answer is left before the server's own cap; how much the
        // server has pushed into its socket by then depends on the machine's load.
        EXPECT_LT(s.server.endlessBytesSent(), LocalHttpsServer::endlessCap);
    }
}

TEST(UpdateCheckHttps, AnUntrustedCertificateIsRefused) {
    Session s;
    s.serveFeed(feedItem("21", "2.1", s.archiveURL(), "", ""));
    const auto controller = s.controller(20s, false);
    RecordingLogSink log;
    EXPECT_EQ(runCheck(*controller), UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines()[0].startsWith("updates notice: update check failed: "));
    EXPECT_TRUE(s.server.requests().empty());
}

// A server that keeps a request open, by a trickle that passes every idle
// time-out or by headers and then nothing, fails the check when the request's
// deadline passes, and nothing stays in Downloads.
TEST(UpdateCheckHttps, EachRequestEndsAtItsDeadline) {
    const QByteArray archive = archiveOf(200000);
    const QString length = QString::number(archive.size());
    struct Case {
        const char* name;
        std::function<void(Session&)> serve;
        QString logLine;
        std::vector<QByteArray> paths;
    };
    const std::vector<Case> cases = {
        {"the feed drips",
         [&](Session& s) { s.serveFeed("", Route::Kind::drip); },
         "updates notice: update check failed: the feed did not arrive within 1 s",
         {"/appcast.xml"}},
        {"the feed stalls after its headers",
         [&](Session& s) { s.serveFeed("", Route::Kind::stall); },
         "updates notice: update check failed: the feed did not arrive within 1 s",
         {"/appcast.xml"}},
        {"the download drips",
         [&](Session& s) {
             s.serveFeed(feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive), length));
             s.server.route("/tarvo_2.1_amd64.deb", Route{Route::Kind::drip, 200, {}, {}});
         },
         "updates notice: update check failed: the download did not arrive within 1 s",
         {"/appcast.xml", "/tarvo_2.1_amd64.deb"}},
        {"the download stalls after its headers",
         [&](Session& s) {
             s.serveFeed(feedItem("21", "2.1", s.archiveURL(), s.key.signBase64(archive), length));
             s.server.route("/tarvo_2.1_amd64.deb", Route{Route::Kind::stall, 200, archive, {}});
         },
         "updates notice: update check failed: the download did not arrive within 1 s",
         {"/appcast.xml", "/tarvo_2.1_amd64.deb"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        ASSERT_TRUE(s.server.isListening());
        c.serve(s);
        const auto controller = s.hurriedController();
        RecordingLogSink log;
        EXPECT_EQ(runCheck(*controller), UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
        EXPECT_EQ(log.lines(), std::vector<QString>{c.logLine});
        EXPECT_EQ(s.server.requestedPaths(), c.paths);
        EXPECT_EQ(filesIn(s.downloads.path()), QStringList());
        EXPECT_FALSE(controller->isChecking());
    }
}

TEST(UpdateCheckHttps, ACheckAfterAHungOneStartsAfresh) {
    Session s;
    s.serveFeed("", Route::Kind::drip);
    const auto controller = s.hurriedController();
    std::vector<UpdateCheckResult> results;
    const auto record = [&](const UpdateCheckResult& r) { results.push_back(r); };
    controller->check(nullptr, record);
    ASSERT_TRUE(waitUntil([&] { return s.server.requests().size() == 1; }));
    // Asked for while the first waits on the trickle: it shares its end.
    controller->check(nullptr, record);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results[0], UpdateCheckResult::failed(L10n::aboutUpdateFailed()));
    EXPECT_EQ(results[1], results[0]);

    s.serveFeed(feedItem("20", "2.0", s.archiveURL(), s.key.signBase64("x"), "1"));
    EXPECT_EQ(runCheck(*controller), UpdateCheckResult::upToDate());
    EXPECT_EQ(s.server.requestedPaths(), (std::vector<QByteArray>{"/appcast.xml", "/appcast.xml"}));
}
