#include "X11Clipboard.h"

#include "X11Connection.h"
#include "X11Reply.h"

#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/TypeMapping.h"

#include <QMimeData>
#include <QPointer>
#include <QSet>

#include <cstring>

#include <xcb/xfixes.h>

namespace tarvo {

namespace {

// The owner's type names worth reading for a paste: the first name of each
// type the shelf knows, in the owner's order.
QStringList namesToRead(const QStringList& targetNames) {
    QStringList names;
    QSet<QString> covered;
    for (const QString& name : targetNames) {
        bool adds = false;
        for (const QString& identifier : TypeMapping::identifiers(name)) {
            if (!covered.contains(identifier)) {
                covered.insert(identifier);
                adds = true;
            }
        }
        if (adds)
            names.append(name);
    }
    return names;
}

// Where the data read under an owner's type name goes: the text atoms are
// text in Qt's MIME terms; every other name is a MIME type already.
void keep(QMimeData& data, const QString& name, const QByteArray& bytes) {
    if (name == QLatin1String("UTF8_STRING"))
        data.setData(QStringLiteral("text/plain;charset=utf-8"), bytes);
    else if (name == QLatin1String("STRING"))
        data.setData(QStringLiteral("text/plain;charset=utf-8"),
                     QString::fromLatin1(bytes).toUtf8());
    else
        data.setData(name, bytes);
}

} // namespace

X11Clipboard::X11Clipboard(X11Connection& connection)
    : m_connection(connection), m_window(connection.makeInputOnlyWindow()),
      m_clipboard(connection.atom("CLIPBOARD")),
      m_reader(connection, m_clipboard, answerMilliseconds) {
    xcb_connection_t* c = m_connection.get();
    m_xfixesEvent =
        m_connection.watchSelection(m_window, m_clipboard,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    m_listener =
        m_connection.addListener([this](const xcb_generic_event_t& e) { return handle(e); });
    // The clipboard may have had its owner before we started.
    auto owner = ownReply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_clipboard), nullptr));
    if (owner && owner->owner != XCB_NONE)
        ownerChanged(owner->owner, XCB_CURRENT_TIME);
    m_connection.flush();
}

X11Clipboard::~X11Clipboard() {
    m_connection.removeListener(m_listener);
    xcb_destroy_window(m_connection.get(), m_window);
    m_connection.flush();
}

std::optional<QStringList> X11Clipboard::types() {
    if (m_waiting)
        return std::nullopt;
    return m_types;
}

void X11Clipboard::read(const QObject* context, Reader done) {
    if (m_ours) {
        done(snapshot(m_ours.get()));
        return;
    }
    const QStringList names = m_waiting ? QStringList{} : namesToRead(m_targetNames);
    if (names.isEmpty()) {
        done(snapshot(nullptr));
        return;
    }
    // Every answer goes into one set of data, handed over after the last.
    struct Gathered {
        QMimeData data;
        qsizetype left = 0;
    };
    auto gathered = std::make_shared<Gathered>();
    gathered->left = names.size();
    const quint64 owner = m_owner;
    QPointer<const QObject> alive(context);
    for (const QString& name : names) {
        const xcb_atom_t target = m_connection.atom(name.toLatin1().constData());
        m_reader.read(target, m_ownerTime,
                      [this, gathered, owner, alive, name,
                       done](std::optional<X11Connection::Property> answer) {
                          if (answer)
                              keep(gathered->data, name, answer->value);
                          if (--gathered->left > 0 || !alive)
                              return;
                          // Data of an owner that has since gone is not what
                          // the clipboard holds.
                          done(snapshot(owner == m_owner ? &gathered->data : nullptr));
                      });
    }
}

bool X11Clipboard::writeText(const QString& text) {
    return took(m_qt.writeText(text), textData(text));
}

bool X11Clipboard::writeFileURLs(const QList<QUrl>& urls) {
    return took(m_qt.writeFileURLs(urls), fileData(urls));
}

bool X11Clipboard::took(bool taken, std::unique_ptr<QMimeData> written) {
    if (!taken)
        return false;
    // XFixes reports the change to Qt's window in a moment; until then, and
    // after, this is what the clipboard holds.
    ++m_owner;
    m_reader.cancel();
    m_waiting = false;
    m_targetNames.clear();
    m_types = snapshot(written.get())->types();
    m_ours = std::move(written);
    return true;
}

void X11Clipboard::ownerChanged(xcb_window_t owner, xcb_timestamp_t time) {
    // Our own writing, known already.
    if (m_ours && owner != XCB_NONE && m_connection.isOwnWindow(owner))
        return;
    ++m_owner;
    m_ownerTime = time;
    m_reader.cancel();
    m_ours.reset();
    m_targetNames.clear();
    m_types.reset();
    m_waiting = owner != XCB_NONE;
    if (!m_waiting)
        return;
    m_reader.read(m_connection.atom("TARGETS"), time,
                  [this](std::optional<X11Connection::Property> answer) {
                      m_waiting = false;
                      // An owner that does not answer in time offers
                      // nothing we could paste.
                      if (!answer || answer->format != 32)
                          return;
                      std::vector<xcb_atom_t> atoms(std::size_t(answer->value.size()) / 4);
                      std::memcpy(atoms.data(), answer->value.constData(), atoms.size() * 4);
                      for (const QByteArray& name : m_connection.atomNames(atoms))
                          if (!name.isEmpty())
                              m_targetNames.append(QString::fromLatin1(name));
                      m_types = TypeMapping::identifiers(m_targetNames);
                  });
}

bool X11Clipboard::handle(const xcb_generic_event_t& event) {
    const quint8 type = event.response_type & 0x7f;
    if (m_xfixesEvent == 0 || type != m_xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY)
        return false;
    const auto& e = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
    if (e.window != m_window || e.selection != m_clipboard)
        return false;
    ownerChanged(e.owner, e.selection_timestamp);
    return true;
}

} // namespace tarvo
