// Answers in pieces (INCR) under Xvfb: a requestor that gives up a large
// answer and asks for another type on the same property must read only what
// it asked for last, never a late piece of the answer it gave up.
#include "TarvoPlatform/DragPasteboard.h"
#include "TarvoPlatform/PasteboardItem.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/FakeClock.h"
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11Reply.h"
#include "TarvoPlatform/x11/X11SelectionServer.h"

#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <memory>
#include <optional>

using namespace tarvo;

namespace {

// A picture far larger than one piece, and a short link list.
class Provider final : public PasteboardItemDataProvider {
public:
    void provideData(PasteboardItem& item, const QString& type, DataRequestPhase,
                     std::function<void()> done) override {
        if (type == TypeIdentifier::jpeg)
            item.setData(picture, type);
        else if (type == TypeIdentifier::fileURL)
            item.setData(QByteArray("file:///tmp/photo.jpg"), type);
        done();
    }
    QByteArray picture = [] {
        QByteArray bytes(3 * 1024 * 1024 + 17, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(0x80 | (i % 113));
        return bytes;
    }();
};

// A client that asks for the drag's data as a target does, reading its
// answers from one property of its own window.
class Requestor final {
public:
    Requestor() : m_c(xcb_connect(nullptr, nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        window = xcb_generate_id(m_c);
        xcb_create_window(m_c, 0, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_flush(m_c);
        property = atom("TARVO_TEST_DATA");
    }
    ~Requestor() { xcb_disconnect(m_c); }
    Requestor(const Requestor&) = delete;
    Requestor& operator=(const Requestor&) = delete;

    xcb_atom_t atom(const char* name) {
        const X11Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, qstrlen(name), name), nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    xcb_selection_request_event_t request(xcb_window_t owner, const char* target) {
        xcb_selection_request_event_t e{};
        e.response_type = XCB_SELECTION_REQUEST;
        e.owner = owner;
        e.requestor = window;
        e.selection = atom("XdndSelection");
        e.target = atom(target);
        e.property = property;
        e.time = ++m_time;
        return e;
    }

    // Waits for the notice of the answer for `target`; false without one.
    bool answered(X11Connection& server, const char* target) {
        const xcb_atom_t wanted = atom(target);
        bool got = false;
        test::waitFor(
            [&] {
                server.drain();
                while (const X11Reply<xcb_generic_event_t> event{xcb_poll_for_event(m_c)}) {
                    if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
                        const auto* n =
                            reinterpret_cast<xcb_selection_notify_event_t*>(event.get());
                        got = got || (n->target == wanted && n->property == property);
                    }
                }
                return got;
            },
            8000);
        return got;
    }

    // Reads the property; `take` deletes it, as a requestor does once read
    // (for a transfer in pieces, that asks for the next).
    std::optional<std::pair<xcb_atom_t, QByteArray>> read(bool take) {
        const X11Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, take, window, property, XCB_ATOM_ANY, 0, 1 << 22), nullptr));
        if (!reply || reply->type == XCB_NONE)
            return std::nullopt;
        return std::make_pair(
            reply->type, QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                    xcb_get_property_value_length(reply.get())));
    }

    // Reads a whole transfer in pieces, from its INCR announcement on.
    QByteArray readPieces(X11Connection& server) {
        QByteArray whole;
        EXPECT_TRUE(read(true).has_value()); // the INCR announcement
        for (;;) {
            std::optional<std::pair<xcb_atom_t, QByteArray>> piece;
            const bool came = test::waitFor(
                [&] {
                    server.drain();
                    piece = read(false);
                    return piece.has_value();
                },
                8000);
            if (!came)
                return whole;
            read(true);
            if (piece->second.isEmpty())
                return whole;
            whole += piece->second;
        }
    }

    xcb_window_t window = XCB_NONE;
    xcb_atom_t property = XCB_NONE;

private:
    xcb_connection_t* m_c;
    xcb_timestamp_t m_time = 1000;
};

class SelectionTransferTest : public ::testing::Test {
protected:
    SelectionTransferTest() : m_connection(X11Connection::open()) {}

    void SetUp() override {
        ASSERT_TRUE(m_connection) << "no display";
        m_owner = m_connection->makeInputOnlyWindow();
        m_item = std::make_shared<PasteboardItem>();
        m_item->setDataProvider(&m_provider,
                                {QString(TypeIdentifier::fileURL), QString(TypeIdentifier::jpeg)});
        ASSERT_TRUE(m_pasteboard.writeObjects({PasteboardWriter(m_item)}));
        m_server = std::make_unique<X11SelectionServer>(
            *m_connection, m_owner, m_pasteboard, m_clock, [] { return DataRequestPhase::drop; });
        m_connection->addListener(
            [this](const xcb_generic_event_t& event) { return m_server->handle(event); });
    }

    void ask(const char* target) {
        const xcb_selection_request_event_t request = m_requestor.request(m_owner, target);
        ASSERT_TRUE(m_server->handle(reinterpret_cast<const xcb_generic_event_t&>(request)));
    }

    // Lets the server hear and answer everything the requestor did so far.
    void settle() {
        for (int i = 0; i < 3; ++i) {
            m_connection->sync();
            m_connection->drain();
        }
    }

    std::unique_ptr<X11Connection> m_connection;
    xcb_window_t m_owner = XCB_NONE;
    FakeClock m_clock;
    Provider m_provider;
    std::shared_ptr<PasteboardItem> m_item;
    DragPasteboard m_pasteboard;
    std::unique_ptr<X11SelectionServer> m_server;
    Requestor m_requestor;
};

TEST_F(SelectionTransferTest, ANewRequestOnTheSamePropertyEndsTheTransferInPieces) {
    ASSERT_GT(m_provider.picture.size(), 4 * static_cast<qsizetype>(m_server->chunkSize()));
    struct Case {
        const char* why;
        int piecesTakenFirst; // of the picture, before the requestor gives up
    };
    for (const Case& c :
         {Case{"given up at the announcement", 0}, Case{"given up after the first piece", 1}}) {
        SCOPED_TRACE(c.why);
        ask("image/jpeg");
        ASSERT_TRUE(m_requestor.answered(*m_connection, "image/jpeg"));
        const auto announced = m_requestor.read(false);
        ASSERT_TRUE(announced);
        EXPECT_EQ(announced->first, m_requestor.atom("INCR"));
        for (int i = 0; i < c.piecesTakenFirst; ++i) {
            m_requestor.read(true);
            ASSERT_TRUE(test::waitFor(
                [&] {
                    m_connection->drain();
                    const auto piece = m_requestor.read(false);
                    return piece && piece->first == m_requestor.atom("image/jpeg");
                },
                8000));
        }

        ask("text/uri-list");
        ASSERT_TRUE(m_requestor.answered(*m_connection, "text/uri-list"));
        const auto list = m_requestor.read(true);
        ASSERT_TRUE(list);
        EXPECT_EQ(list->first, m_requestor.atom("text/uri-list"));
        EXPECT_EQ(list->second, "file:///tmp/photo.jpg\r\n");

        // Reading the list deleted the property: nothing of the picture may
        // follow there.
        settle();
        const auto after = m_requestor.read(false);
        EXPECT_FALSE(after) << "a late piece of " << after->second.size() << " bytes";
        m_requestor.read(true);
    }

    // The property serves a whole transfer again afterwards.
    ask("image/jpeg");
    ASSERT_TRUE(m_requestor.answered(*m_connection, "image/jpeg"));
    EXPECT_EQ(m_requestor.readPieces(*m_connection), m_provider.picture);
}

} // namespace
