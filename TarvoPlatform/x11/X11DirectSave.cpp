#include "X11DirectSave.h"

#include "X11Connection.h"

#include "TarvoCore/StoredContent.h"
#include "TarvoPlatform/FilePromiseReceiver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

namespace tarvo {

namespace {

// Requests the source never answers are dropped after this long; the drop
// receiver has long given up on them by then.
constexpr int forgetAfterMilliseconds = 120000;

class DirectSaveReceiver final : public FilePromiseReceiver {
public:
    DirectSaveReceiver(X11DirectSave& owner, X11DirectSave::Drop drop, QString suggested,
                       bool bytesOffered)
        : m_owner(owner), m_drop(drop), m_suggested(std::move(suggested)),
          m_bytesOffered(bytesOffered) {}

    QStringList fileNames() const override {
        return m_suggested.isEmpty() ? QStringList{} : QStringList{m_suggested};
    }

    void receivePromisedFiles(const QString& destination, NameFilter storedName, QThreadPool& queue,
                              Reader reader) override {
        const QString suggested = m_suggested.isEmpty() ? QStringLiteral("File") : m_suggested;
        const QString name = storedName ? storedName(suggested) : QFileInfo(suggested).fileName();
        const QPointer<QThreadPool> pool(&queue);
        m_owner.requestSave(
            m_drop, destination + u'/' + name,
            [pool, reader](const QString& path, const std::optional<QString>& error) {
                if (pool)
                    pool->start([reader, path, error] { reader(path, error); });
            },
            m_bytesOffered);
    }

private:
    X11DirectSave& m_owner;
    X11DirectSave::Drop m_drop;
    QString m_suggested;
    bool m_bytesOffered;
};

constexpr char octetStream[] = "application/octet-stream";

// How long the source may pause in handing its bytes over, before and
// between the pieces of a large answer. Some never send a piece of an answer
// they announced in pieces: the drop then takes what else is on offer, and
// the user should not wait long for it.
constexpr int bytesPauseMilliseconds = 1000;

// Writes the bytes a source handed over as its file, never over anything.
bool writeNew(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.close();
        QFile::remove(path);
        return false;
    }
    return true;
}

void removeEntry(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

QByteArray hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return QByteArray(name);
}

} // namespace

X11DirectSave::X11DirectSave(X11Connection& connection)
    : m_connection(connection), m_window(connection.makeInputOnlyWindow()),
      m_bytes(connection, connection.atom("XdndSelection"), bytesPauseMilliseconds) {
    m_listener =
        m_connection.addListener([this](const xcb_generic_event_t& e) { return handle(e); });
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
}

X11DirectSave::~X11DirectSave() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    m_connection.removeListener(m_listener);
    xcb_destroy_window(m_connection.get(), m_window);
    m_connection.flush();
}

QByteArray X11DirectSave::fileURI(const QString& path, const QByteArray& host) {
    QUrl url = QUrl::fromLocalFile(path);
    url.setHost(QString::fromLatin1(host));
    return url.toEncoded();
}

// Qt's connection: only watched, never changed.
bool X11DirectSave::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* e = reinterpret_cast<const xcb_client_message_event_t*>(event);
    if (e->format != 32)
        return false;
    const quint32* data = e->data.data32;
    if (e->type == m_connection.atom("XdndEnter")) {
        m_drop = Drop{data[0], 0, false};
    } else if (e->type == m_connection.atom("XdndPosition")) {
        if (!m_drop || m_drop->source != data[0])
            m_drop = Drop{data[0], 0, false};
        m_drop->time = data[3];
    } else if (e->type == m_connection.atom("XdndDrop")) {
        m_drop = Drop{data[0], data[2], true, ++m_drops};
    } else if (e->type == m_connection.atom("XdndLeave")) {
        m_drop.reset();
    }
    return false;
}

QString X11DirectSave::suggestedName(xcb_window_t source) {
    const auto property =
        m_connection.readProperty(source, m_connection.atom("XdndDirectSave0"), 4096);
    if (!property || property->format != 8)
        return {};
    QString name = QString::fromUtf8(property->value);
    // Whatever the source proposes, only a plain file name is taken.
    return QFileInfo(name).fileName();
}

std::vector<std::shared_ptr<FilePromiseReceiver>> X11DirectSave::receivers(const QMimeData& data) {
    if (!m_drop || !m_drop->dropped || !data.hasFormat(QStringLiteral("XdndDirectSave0")))
        return {};
    // Each request makes some sources save another copy: one per drop.
    if (m_asked.contains(m_drop->serial))
        return {};
    return {std::make_shared<DirectSaveReceiver>(*this, *m_drop, suggestedName(m_drop->source),
                                                 data.hasFormat(QLatin1String(octetStream)))};
}

void X11DirectSave::requestSave(const Drop& drop, const QString& path, Done done,
                                bool bytesOffered) {
    if (!m_asked.insert(drop.serial).second) {
        done(path, QStringLiteral("the source was asked for this drop's file already"));
        return;
    }
    xcb_connection_t* c = m_connection.get();
    const QByteArray uri = fileURI(path, hostName());
    const xcb_atom_t xds = m_connection.atom("XdndDirectSave0");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, drop.source, xds, m_connection.atom("text/plain"),
                        8, static_cast<quint32>(uri.size()), uri.constData());
    const QByteArray propertyName = "TARVO_XDS_" + QByteArray::number(m_nextProperty++ % 64);
    const xcb_atom_t property = m_connection.atom(propertyName.constData());
    Pending& pending = m_pending[property];
    pending = Pending{path,
                      drop.time,
                      std::move(done),
                      entriesBeside(path),
                      std::make_unique<FolderWriteWatch>(QFileInfo(path).absolutePath(),
                                                         &StoredContent::isOwnEntry),
                      bytesOffered};
    xcb_convert_selection(c, m_window, m_connection.atom("XdndSelection"), xds, property,
                          drop.time);
    // Seen by the server before Qt tells the source the drop is over.
    m_connection.sync();
    QTimer::singleShot(forgetAfterMilliseconds, &m_context,
                       [this, property] { m_pending.erase(property); });
    QTimer::singleShot(finishWritingMilliseconds, &m_context, [this, property] {
        const auto it = m_pending.find(property);
        if (it != m_pending.end() && it->second.answered)
            fail(property, QStringLiteral("the source did not finish writing the file"));
    });
    if (!bytesOffered)
        return;
    // A source that may hand the bytes over instead is heard out, and its
    // bytes read, while the drop is under way: once it is over the source
    // may let them go. An answer in pieces is read on after the drop, which
    // it would hold up for as long as the pieces take.
    m_connection.dispatchUntil(
        [this, property] {
            const auto it = m_pending.find(property);
            return it == m_pending.end() ||
                   (it->second.answered && (!it->second.reading || m_bytes.inPieces()));
        },
        answerWithinDropMilliseconds);
}

bool X11DirectSave::handle(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) != XCB_SELECTION_NOTIFY)
        return false;
    const auto& e = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
    if (e.requestor != m_window)
        return false;
    if (e.property == XCB_NONE) {
        // A refusal names neither target nor property: its time tells the
        // request.
        for (const auto& [property, pending] : m_pending) {
            if (pending.time == e.time && !pending.answered) {
                fail(property, QStringLiteral("the source refused to save the file"));
                break;
            }
        }
        return true;
    }
    const auto it = m_pending.find(e.property);
    if (it == m_pending.end() || it->second.answered)
        return true;
    const auto reply = m_connection.readProperty(m_window, e.property, 64, true);
    answered(e.property, reply ? reply->value : QByteArray());
    return true;
}

void X11DirectSave::answered(xcb_atom_t property, const QByteArray& answer) {
    Pending& pending = m_pending.at(property);
    pending.answered = true;
    if (answer == "S") {
        // Some sources answer before they have written the file, or while
        // they still write it: it is taken once it is whole.
        pending.watch->whenSettled([this, property] { settled(property); });
        return;
    }
    if (answer == "F") {
        // The source cannot write the file itself: the protocol's way on is
        // to read its bytes and write them there ourselves. They are read
        // here, with a deadline of our own, rather than through the drop's
        // data, which holds the drop up for seconds when a source announces
        // an answer in pieces and sends none.
        if (!pending.bytesOffered) {
            fail(property, QStringLiteral("the source could not save the file there"));
            return;
        }
        pending.reading = true;
        m_bytes.read(m_connection.atom(octetStream), pending.time,
                     [this, property](std::optional<X11Connection::Property> answer) {
                         bytesRead(property, answer ? answer->value : QByteArray());
                     });
        return;
    }
    fail(property, QStringLiteral("the source failed to save the file"));
}

void X11DirectSave::bytesRead(xcb_atom_t property, const QByteArray& bytes) {
    const auto it = m_pending.find(property);
    if (it == m_pending.end())
        return;
    it->second.reading = false;
    if (bytes.isEmpty()) {
        fail(property, QStringLiteral("the source could not save the file there nor hand over "
                                      "its bytes"));
        return;
    }
    if (!writeNew(it->second.path, bytes)) {
        fail(property, QStringLiteral("the bytes the source handed over could not be written"));
        return;
    }
    succeed(property, it->second.path);
}

void X11DirectSave::settled(xcb_atom_t property) {
    const auto it = m_pending.find(property);
    if (it == m_pending.end())
        return;
    const Pending& pending = it->second;
    const QFileInfo asked(pending.path);
    if (asked.exists() || asked.isSymLink()) {
        succeed(property, pending.path);
        return;
    }
    // Some sources save under a name of their own beside the place asked
    // for and still answer success: the one new file or folder there is
    // theirs.
    QStringList added = entriesBeside(pending.path);
    added.removeIf([&](const QString& name) { return pending.before.contains(name); });
    if (added.size() == 1) {
        succeed(property, asked.dir().filePath(added.front()));
        return;
    }
    fail(property,
         added.isEmpty()
             ? QStringLiteral("the source saved no file where it was asked to")
             : QStringLiteral("the source saved %1 files instead of one").arg(added.size()));
}

std::optional<X11DirectSave::Pending> X11DirectSave::take(xcb_atom_t property) {
    const auto it = m_pending.find(property);
    if (it == m_pending.end())
        return std::nullopt;
    Pending pending = std::move(it->second);
    m_pending.erase(it);
    // The watch may be what called here.
    if (pending.watch)
        pending.watch.release()->deleteLater();
    return pending;
}

void X11DirectSave::succeed(xcb_atom_t property, QString file) {
    if (std::optional<Pending> pending = take(property))
        pending->done(file, std::nullopt);
}

void X11DirectSave::fail(xcb_atom_t property, QString reason) {
    std::optional<Pending> taken = take(property);
    if (!taken)
        return;
    Pending& pending = *taken;
    const QDir folder = QFileInfo(pending.path).dir();
    for (const QString& name : entriesBeside(pending.path)) {
        if (!pending.before.contains(name))
            removeEntry(folder.filePath(name));
    }
    pending.done(pending.path, reason);
}

QStringList X11DirectSave::entriesBeside(const QString& path) {
    QStringList names = QFileInfo(path).dir().entryList(QDir::AllEntries | QDir::Hidden |
                                                        QDir::System | QDir::NoDotAndDotDot);
    // The item's own record is no part of what the source wrote.
    names.removeIf([](const QString& name) { return StoredContent::isOwnEntry(name); });
    return names;
}

} // namespace tarvo
