// Handing files to other programs on a real display: the quoted paths pasted
// into an xterm once it is the active window and read back through its own
// `cat`, no paste at all when the target never becomes active (a line edit
// of ours would take it), Mousepad started with a file, and the clipboard's
// types and data read from other owners without ever waiting on them.
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/QtClipboard.h"
#include "TarvoPlatform/SystemClock.h"
#include "TarvoDrag/AcceptedTypes.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/x11/X11AppLauncher.h"
#include "TarvoPlatform/x11/X11Clipboard.h"
#include "TarvoPlatform/x11/X11Connection.h"
#include "TarvoPlatform/x11/X11PasteKeys.h"
#include "TarvoPlatform/x11/X11Workspace.h"
#include "TarvoShell/AutoPaster.h"

#include "support/TempDir.h"
#include "support/X11TestTools.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <optional>

namespace tarvo::test {
namespace {

const QString xtermID = QStringLiteral("debian-xterm");

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A client of its own that takes the clipboard and lists UTF-8 text and HTML
// as its types when asked, but never hands over any data.
class TypesOnlyOwner final {
public:
    TypesOnlyOwner() : m_connection(X11Connection::open()) {
        if (!m_connection)
            return;
        m_window = m_connection->makeInputOnlyWindow();
        const xcb_atom_t targets = m_connection->atom("TARGETS");
        const xcb_atom_t utf8 = m_connection->atom("UTF8_STRING");
        const xcb_atom_t html = m_connection->atom("text/html");
        m_connection->addListener([this, targets, utf8, html](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) != XCB_SELECTION_REQUEST)
                return false;
            const auto& e = reinterpret_cast<const xcb_selection_request_event_t&>(event);
            if (e.target != targets)
                return true; // silent: the requestor waits in vain
            const xcb_atom_t offered[] = {targets, utf8, html};
            xcb_change_property(m_connection->get(), XCB_PROP_MODE_REPLACE, e.requestor,
                                e.property, XCB_ATOM_ATOM, 32, 3, offered);
            xcb_selection_notify_event_t reply{};
            reply.response_type = XCB_SELECTION_NOTIFY;
            reply.time = e.time;
            reply.requestor = e.requestor;
            reply.selection = e.selection;
            reply.target = e.target;
            reply.property = e.property;
            xcb_send_event(m_connection->get(), 0, e.requestor, 0,
                           reinterpret_cast<const char*>(&reply));
            m_connection->flush();
            return true;
        });
    }

    bool take() {
        if (!m_connection)
            return false;
        xcb_set_selection_owner(m_connection->get(), m_window, m_connection->atom("CLIPBOARD"),
                                XCB_CURRENT_TIME);
        m_connection->flush();
        return true;
    }

private:
    std::unique_ptr<X11Connection> m_connection;
    xcb_window_t m_window = XCB_NONE;
};

class HandOffX11 : public ::testing::Test {
protected:
    HandOffX11()
        : m_connection(X11Connection::open()), m_workspace(*m_connection, m_applications),
          m_launcher(*m_connection, m_workspace, m_applications), m_keys(*m_connection),
          m_paster(m_launcher, m_workspace, m_keys, m_clock) {
        m_applications.refreshAndWait();
        m_xterm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~HandOffX11() override {
        for (QProcess* process : {&m_xterm, &m_other}) {
            process->kill();
            process->waitForFinished(2000);
        }
    }

    // An xterm whose Ctrl+Shift+V pastes the clipboard (the binding most
    // xterm users add; other terminals have it built in), its `cat` writing
    // what it is given to `out` at once.
    bool startXterm(const QString& out) {
        m_xterm.start("xterm", {"-xrm",
                                "XTerm*VT100.translations: #override Ctrl Shift <Key>V: "
                                "insert-selection(CLIPBOARD)",
                                "-geometry", "80x10+600+400", "-e", "sh", "-c",
                                "stty -icanon; cat > '" + out + "'"});
        return waitFor([&] { return m_launcher.isRunning(xtermID); });
    }

    // A line edit of ours, active and focused: a paste that went astray
    // would land in it.
    std::unique_ptr<QLineEdit> activeLineEdit() {
        auto edit = std::make_unique<QLineEdit>();
        edit->setGeometry(100, 100, 300, 30);
        edit->show();
        edit->activateWindow();
        edit->raise();
        edit->setFocus();
        waitFor([&] {
            const auto front = m_workspace.frontmostApplication();
            return edit->isActiveWindow() && front &&
                   front->processIdentifier == qint32(QCoreApplication::applicationPid());
        });
        return edit;
    }

    std::optional<bool> paste(const QString& appID, bool terminal) {
        std::optional<bool> outcome;
        m_paster.pasteAfterActivating(appID, terminal, [&](bool pasted) { outcome = pasted; });
        waitFor([&] { return outcome.has_value(); });
        return outcome;
    }

    TempDir m_dir;
    ApplicationDirectory m_applications;
    std::unique_ptr<X11Connection> m_connection;
    X11Workspace m_workspace;
    X11AppLauncher m_launcher;
    X11PasteKeys m_keys;
    SystemClock m_clock;
    QtClipboard m_clipboard;
    AutoPaster m_paster;
    QProcess m_xterm;
    QProcess m_other;
};

TEST_F(HandOffX11, TheTerminalIsBroughtForwardAndTheQuotedPathsArePastedIntoIt) {
    ASSERT_TRUE(m_keys.canSynthesize());
    const QString out = m_dir.file("typed.txt");
    ASSERT_TRUE(startXterm(out));
    const std::unique_ptr<QLineEdit> edit = activeLineEdit();
    ASSERT_TRUE(edit->isActiveWindow());

    const QString paths = QStringLiteral("'/tmp/a report.txt' /tmp/b.txt");
    ASSERT_TRUE(m_clipboard.writeText(paths));
    EXPECT_EQ(paste(xtermID, true), true);
    EXPECT_EQ(m_workspace.frontmostApplication()->bundleIdentifier, xtermID);
    EXPECT_TRUE(edit->text().isEmpty());

    // The terminal reads the clipboard when the paste arrives; `cat` takes
    // each character as it comes.
    EXPECT_TRUE(waitFor([&] { return contents(out) == paths.toUtf8(); }))
        << contents(out).toStdString();
}

TEST_F(HandOffX11, NothingIsPastedWhenTheTargetNeverBecomesActive) {
    const std::unique_ptr<QLineEdit> edit = activeLineEdit();
    ASSERT_TRUE(edit->isActiveWindow());
    ASSERT_TRUE(m_clipboard.writeText(QStringLiteral("/tmp/never.txt")));
    // Neither running nor installed: nothing comes forward.
    EXPECT_EQ(paste(QStringLiteral("org.example.NotInstalled"), false), false);
    pump(300);
    EXPECT_TRUE(edit->text().isEmpty()) << edit->text().toStdString();
    EXPECT_TRUE(edit->isActiveWindow());
    // The line edit would have shown a paste: typed now, it does.
    ASSERT_TRUE(m_keys.postPaste(false, edit->window()->winId()));
    EXPECT_TRUE(waitFor([&] { return edit->text() == QStringLiteral("/tmp/never.txt"); }))
        << edit->text().toStdString();
}

TEST_F(HandOffX11, NoKeysAreTypedWhenTheFocusIsOutsideTheTargetWindow) {
    const QString out = m_dir.file("typed.txt");
    ASSERT_TRUE(startXterm(out));
    const std::vector<xcb_window_t> xterm = m_launcher.windows(xtermID);
    ASSERT_FALSE(xterm.empty());
    // The xterm was found active, then the user clicked into our line edit.
    const std::unique_ptr<QLineEdit> edit = activeLineEdit();
    ASSERT_TRUE(edit->isActiveWindow());
    ASSERT_TRUE(m_clipboard.writeText(QStringLiteral("/tmp/astray.txt")));
    EXPECT_FALSE(m_keys.postPaste(false, xterm.front()));
    pump(300);
    EXPECT_TRUE(edit->text().isEmpty()) << edit->text().toStdString();
}

TEST_F(HandOffX11, AModifierTheUserHoldsIsHeldAgainAfterThePaste) {
    const std::unique_ptr<QLineEdit> edit = activeLineEdit();
    ASSERT_TRUE(edit->isActiveWindow());
    ASSERT_TRUE(m_clipboard.writeText(QStringLiteral("/tmp/held.txt")));
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const KeyCode alt = XKeysymToKeycode(display, XK_Alt_L);
    const auto isDown = [display](KeyCode code) {
        char keys[32] = {};
        XQueryKeymap(display, keys);
        return (keys[code / 8] & (1 << (code % 8))) != 0;
    };
    XTestFakeKeyEvent(display, alt, True, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(isDown(alt));

    EXPECT_TRUE(m_keys.postPaste(false, edit->window()->winId()));
    EXPECT_TRUE(waitFor([&] { return edit->text() == QStringLiteral("/tmp/held.txt"); }))
        << edit->text().toStdString();
    EXPECT_TRUE(isDown(alt));

    XTestFakeKeyEvent(display, alt, False, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
}

TEST_F(HandOffX11, AProgramThatDoesNotRunIsStartedWithTheFiles) {
    const QString file = m_dir.file("handed over.txt");
    {
        QFile handed(file);
        ASSERT_TRUE(handed.open(QIODevice::WriteOnly));
        handed.write("handed over\n");
    }
    const QString mousepad = QStringLiteral("org.xfce.mousepad");
    ASSERT_TRUE(m_applications.entry(mousepad));
    ASSERT_FALSE(m_launcher.isRunning(mousepad));
    ASSERT_TRUE(m_launcher.launch(mousepad, {QUrl::fromLocalFile(file)}));
    ASSERT_TRUE(waitFor([&] { return m_launcher.isRunning(mousepad); }));
    // Its window names the file it opened.
    QProcess search;
    EXPECT_TRUE(waitFor([&] {
        search.start("xdotool", {"search", "--name", "handed over.txt"});
        search.waitForFinished(5000);
        return !search.readAllStandardOutput().trimmed().isEmpty();
    }));
    EXPECT_TRUE(m_launcher.activate(mousepad));
    EXPECT_TRUE(waitFor([&] {
        const auto front = m_workspace.frontmostApplication();
        return front && front->bundleIdentifier == mousepad;
    }));
    // Started through GIO, it is not our child: ask it to go.
    QProcess::execute("xdotool", {"search", "--class", "mousepad", "windowclose"});
}

// We hold the clipboard, then another client takes it: one that answers for
// its types, then one that never reads its requests at all, then we write
// again.
TEST_F(HandOffX11, TheClipboardsTypesAreKnownAheadAndAHangingOwnerDelaysNothing) {
    // Qt holds the clipboard when the others take it, and learns that it lost
    // it only when its own events are read.
    ASSERT_TRUE(m_clipboard.writeText(QStringLiteral("/tmp/ours.txt")));
    X11Clipboard clipboard(*m_connection);
    // Asking never waits on anyone, whoever holds the clipboard.
    const auto quickly = [&clipboard] {
        QElapsedTimer asked;
        asked.start();
        std::optional<QStringList> types = clipboard.types();
        EXPECT_LT(asked.elapsed(), 1000);
        return types;
    };
    const xcb_atom_t selection = m_connection->atom("CLIPBOARD");

    // An owner with a connection of its own that answers TARGETS.
    TypesOnlyOwner answering;
    ASSERT_TRUE(answering.take());
    EXPECT_TRUE(waitFor([&] {
        const std::optional<QStringList> types = quickly();
        return types && types->contains(TypeIdentifier::utf8PlainText);
    })) << quickly().value_or(QStringList{}).join(' ').toStdString();
    EXPECT_TRUE(AcceptedTypes::canAccept(quickly().value_or(QStringList{})));

    // A raw client that owns the clipboard and never answers anything.
    xcb_connection_t* hanging = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(hanging), 0);
    const xcb_setup_t* setup = xcb_get_setup(hanging);
    const xcb_window_t hangingOwner = xcb_generate_id(hanging);
    xcb_create_window(hanging, XCB_COPY_FROM_PARENT, hangingOwner,
                      xcb_setup_roots_iterator(setup).data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(hanging, hangingOwner, selection, XCB_CURRENT_TIME);
    free(xcb_get_input_focus_reply(hanging, xcb_get_input_focus(hanging), nullptr));
    // The earlier owner's types go with it.
    EXPECT_TRUE(waitFor([&] { return !quickly().has_value(); }));
    // Nothing is known of it, before its deadline and after.
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_FALSE(quickly().has_value());
        pump(X11Clipboard::answerMilliseconds + 500);
    }

    // What we write is known at once, and stays known once the server has
    // told of our own taking.
    ASSERT_TRUE(clipboard.writeText(QStringLiteral("/tmp/ours again.txt")));
    for (int pass = 0; pass < 2; ++pass) {
        const std::optional<QStringList> types = quickly();
        ASSERT_TRUE(types.has_value()) << "pass " << pass;
        EXPECT_TRUE(AcceptedTypes::canAccept(*types)) << types->join(' ').toStdString();
        pump(500);
    }
    xcb_disconnect(hanging);
}


// A paste reads the owner's data as it comes: a large text that its owner
// sends in pieces arrives whole, and an owner that lists a type but never
// sends it costs the shelf no wait, only an empty paste after the deadline.
TEST_F(HandOffX11, APasteReadsTheOwnersDataWithoutEverWaitingOnIt) {
    // Nobody holds the clipboard at first, so the types seen are xclip's.
    xcb_set_selection_owner(m_connection->get(), XCB_NONE, m_connection->atom("CLIPBOARD"),
                            XCB_CURRENT_TIME);
    m_connection->sync();
    X11Clipboard clipboard(*m_connection);
    QObject context;
    std::optional<std::unique_ptr<Pasteboard>> pasted;
    const auto paste = [&] {
        pasted.reset();
        QElapsedTimer asked;
        asked.start();
        clipboard.read(&context, [&](std::unique_ptr<Pasteboard> contents) {
            pasted = std::move(contents);
        });
        EXPECT_LT(asked.elapsed(), 1000);
    };

    // Six MiB of text, far more than one request carries: xclip sends it in
    // pieces (INCR).
    QByteArray text;
    for (int line = 0; text.size() < (6 << 20); ++line)
        text += "line " + QByteArray::number(line) + " of a long paste\n";
    const QString file = m_dir.file("long paste.txt");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    m_other.start("xclip", {"-selection", "clipboard", "-quiet", "-i", file});
    ASSERT_TRUE(m_other.waitForStarted(5000));
    ASSERT_TRUE(waitFor([&] {
        const std::optional<QStringList> types = clipboard.types();
        return types && types->contains(TypeIdentifier::utf8PlainText);
    }));
    paste();
    ASSERT_TRUE(waitFor([&] { return pasted.has_value(); }));
    const std::optional<QString> got = (*pasted)->string(TypeIdentifier::utf8PlainText);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->size(), text.size());
    EXPECT_TRUE(*got == QString::fromUtf8(text));

    TypesOnlyOwner silent;
    ASSERT_TRUE(silent.take());
    ASSERT_TRUE(waitFor([&] {
        const std::optional<QStringList> types = clipboard.types();
        return types && types->contains(TypeIdentifier::html);
    }));
    // The event loop turns on while the owner keeps the paste waiting.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(100);
    paste();
    ASSERT_TRUE(waitFor([&] { return pasted.has_value(); }));
    EXPECT_GE(ticks, 5);
    EXPECT_FALSE((*pasted)->types().value_or(QStringList{}).contains(TypeIdentifier::utf8PlainText));

    // Nothing is handed to a reader that has gone.
    bool heard = false;
    {
        QObject gone;
        clipboard.read(&gone, [&](std::unique_ptr<Pasteboard>) { heard = true; });
    }
    pump(X11Clipboard::answerMilliseconds + 500);
    EXPECT_FALSE(heard);
}

} // namespace
} // namespace tarvo::test
