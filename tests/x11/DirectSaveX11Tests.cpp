// The direct-save request of a drag out of the shelf, under Xvfb: the place
// to write comes from a property that any client can set on our window, and
// the request from any client that asks. Only the drop's target, after the
// drop, gets a file written, and only at a new absolute path on this host;
// everything else leaves the file system as it was.
#include "TarvoPlatform/DragPasteboard.h"
#include "TarvoPlatform/FilePromiseProvider.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11Reply.h"
#include "TarvoPlatform/x11/X11SelectionServer.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

using namespace tarvo;

namespace {

// Writes the promised file where it is told, as the drag source would.
class Writer final : public FilePromiseProviderDelegate {
public:
    QString fileName(FilePromiseProvider&, const QString&) override {
        return QStringLiteral("photo.png");
    }
    void writePromise(FilePromiseProvider&, const QString& path, Completion completion) override {
        asked.push_back(path);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            completion(QStringLiteral("exists"));
            return;
        }
        file.write("written by the drag");
        file.close();
        completion(std::nullopt);
    }
    std::vector<QString> asked;
};

// Another client with a window of its own: the drop's target, or a stranger.
class Client final {
public:
    Client() : m_c(xcb_connect(nullptr, nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        window = xcb_generate_id(m_c);
        xcb_create_window(m_c, 0, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_flush(m_c);
    }
    ~Client() { xcb_disconnect(m_c); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    xcb_atom_t atom(const char* name) {
        const X11Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, qstrlen(name), name), nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    // Names the place, as a target does on the source's window.
    void setPlace(xcb_window_t source, const QByteArray& place) {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, source, atom("XdndDirectSave0"),
                            atom("text/plain"), 8, static_cast<quint32>(place.size()),
                            place.constData());
        ownReply(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    }

    // The request as the server sees it, from this client's window.
    xcb_selection_request_event_t request(xcb_window_t owner) {
        xcb_selection_request_event_t e{};
        e.response_type = XCB_SELECTION_REQUEST;
        e.owner = owner;
        e.requestor = window;
        e.selection = atom("XdndSelection");
        e.target = atom("XdndDirectSave0");
        e.property = atom("TARVO_TEST_ANSWER");
        e.time = XCB_CURRENT_TIME;
        return e;
    }

    // The answer the server sent to this window, once it comes.
    std::optional<QByteArray> answer(X11Connection& server) {
        std::optional<QByteArray> got;
        test::waitFor(
            [&] {
                server.drain();
                while (const X11Reply<xcb_generic_event_t> event{xcb_poll_for_event(m_c)}) {
                    if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
                        const auto* n =
                            reinterpret_cast<xcb_selection_notify_event_t*>(event.get());
                        got = n->property == XCB_NONE ? QByteArray() : read(n->property);
                    }
                }
                return got.has_value();
            },
            8000);
        return got;
    }

    xcb_window_t window = XCB_NONE;

private:
    QByteArray read(xcb_atom_t property) {
        const X11Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 1, window, property, XCB_ATOM_ANY, 0, 1024), nullptr));
        if (!reply)
            return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    }

    xcb_connection_t* m_c;
};

class DirectSaveTest : public ::testing::Test {
protected:
    DirectSaveTest() : m_connection(X11Connection::open()) {}

    void SetUp() override {
        ASSERT_TRUE(m_connection) << "no display";
        m_owner = m_connection->makeInputOnlyWindow();
        m_provider = std::make_shared<FilePromiseProvider>(QStringLiteral("public.png"), &m_writer);
        ASSERT_TRUE(m_pasteboard.writeObjects({PasteboardWriter(m_provider)}));
        m_server = std::make_unique<X11SelectionServer>(
            *m_connection, m_owner, m_pasteboard, m_clock,
            [this] { return m_dropped ? DataRequestPhase::drop : DataRequestPhase::hover; });
        m_server->setDropTarget([this] {
            return m_dropped ? std::vector<xcb_window_t>{m_target.window}
                             : std::vector<xcb_window_t>{};
        });
    }

    // What `from` is answered when it asks after naming `place`.
    std::optional<QByteArray> ask(Client& from, const QByteArray& place) {
        from.setPlace(m_owner, place);
        const xcb_selection_request_event_t request = from.request(m_owner);
        EXPECT_TRUE(m_server->handle(reinterpret_cast<const xcb_generic_event_t&>(request)));
        return from.answer(*m_connection);
    }

    static QByteArray uri(const QString& path, const QString& host = QString()) {
        return "file://" + host.toUtf8() +
               QUrl::fromLocalFile(path).path(QUrl::FullyEncoded).toUtf8();
    }

    test::TempDir m_dir;
    std::unique_ptr<X11Connection> m_connection;
    xcb_window_t m_owner = XCB_NONE;
    FakeClock m_clock;
    Writer m_writer;
    std::shared_ptr<FilePromiseProvider> m_provider;
    DragPasteboard m_pasteboard;
    std::unique_ptr<X11SelectionServer> m_server;
    Client m_target;
    Client m_stranger;
    bool m_dropped = false;
};

TEST_F(DirectSaveTest, OnlyTheTargetAfterTheDropGetsAFileAtANewPlace) {
    const QString place = m_dir.file("Saved/photo.png");
    QDir().mkpath(m_dir.file("Saved"));
    m_dropped = true;
    EXPECT_EQ(ask(m_target, uri(place)), "S");
    EXPECT_EQ(m_writer.asked, std::vector<QString>{place});
    EXPECT_EQ(m_dir.read("Saved/photo.png"), "written by the drag");
    const QString local = m_dir.file("Saved/local.png");
    EXPECT_EQ(ask(m_target, uri(local, "localhost")), "S");
    EXPECT_TRUE(QFileInfo::exists(local));
}

TEST_F(DirectSaveTest, HostileRequestsWriteNothing) {
    struct Case {
        const char* why;
        bool dropped;
        bool fromTarget;
        std::function<QByteArray(const QString& place)> named;
        QByteArray answer;
    };
    const std::vector<Case> cases = {
        {"a relative URI", true, true, [](const QString&) { return QByteArray("file:photo.png"); },
         "E"},
        {"a relative path without a scheme", true, true,
         [](const QString&) { return QByteArray("Saved/photo.png"); }, "E"},
        {"another host", true, true,
         [](const QString& place) { return uri(place, "elsewhere.example"); }, "F"},
        {"a path that exists", true, true, [](const QString& place) { return uri(place); }, "F"},
        {"a stranger asking while the drag hovers", false, false,
         [](const QString& place) { return uri(place); }, "E"},
        {"the target asking while the drag hovers", false, true,
         [](const QString& place) { return uri(place); }, "E"},
        {"a stranger asking after the drop", true, false,
         [](const QString& place) { return uri(place); }, "E"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        m_writer.asked.clear();
        const QString place = m_dir.write("Saved/photo.png", "mine");
        if (std::string(c.why) != "a path that exists")
            QFile::remove(place);
        m_dropped = c.dropped;
        EXPECT_EQ(ask(c.fromTarget ? m_target : m_stranger, c.named(place)), c.answer);
        EXPECT_TRUE(m_writer.asked.empty());
        if (std::string(c.why) == "a path that exists")
            EXPECT_EQ(m_dir.read("Saved/photo.png"), "mine") << "untouched";
        else
            EXPECT_FALSE(QFileInfo::exists(place));
        EXPECT_FALSE(QFileInfo::exists(m_dir.file("photo.png")));
    }
}

TEST_F(DirectSaveTest, APlaceNamedDuringTheHoverByAStrangerIsNotTheTargetsChoice) {
    // The stranger names a place while the drag hovers; at the drop the
    // source names the file again, and a target that asks without naming a
    // place of its own gets no file at the stranger's place.
    const QString place = m_dir.file("Saved/photo.png");
    QDir().mkpath(m_dir.file("Saved"));
    m_stranger.setPlace(m_owner, uri(place));
    m_dropped = true;
    const QByteArray name = "photo.png";
    xcb_change_property(m_connection->get(), XCB_PROP_MODE_REPLACE, m_owner,
                        m_connection->atom("XdndDirectSave0"), m_connection->atom("text/plain"), 8,
                        static_cast<quint32>(name.size()), name.constData());
    m_connection->sync();
    const xcb_selection_request_event_t request = m_target.request(m_owner);
    EXPECT_TRUE(m_server->handle(reinterpret_cast<const xcb_generic_event_t&>(request)));
    EXPECT_EQ(m_target.answer(*m_connection), "E");
    EXPECT_TRUE(m_writer.asked.empty());
    EXPECT_FALSE(QFileInfo::exists(place));
}

} // namespace
