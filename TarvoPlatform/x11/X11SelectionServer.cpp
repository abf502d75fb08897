#include "X11SelectionServer.h"

#include "X11Connection.h"
#include "XdndData.h"

#include "TarvoPlatform/Clock.h"
#include "TarvoPlatform/DragPasteboard.h"
#include "TarvoPlatform/TypeMapping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace tarvo {

namespace {

// A piece of an answer: small enough for any server, large enough that a
// big file goes in few round trips.
constexpr quint32 largestChunk = 256 * 1024;
// A target that stops taking pieces is given up after this long.
constexpr double transferPatience = 10.0;

using Answer = std::function<void(std::optional<PasteboardData>)>;

// Asks `item` for each of `types` in turn until one gives data.
void askItem(const std::shared_ptr<PasteboardItem>& item, const QStringList& types, qsizetype next,
             DataRequestPhase phase, const Answer& answer) {
    if (next >= types.size()) {
        answer(std::nullopt);
        return;
    }
    item->request(types[next], phase,
                  [item, types, next, phase, answer](std::optional<PasteboardData> data) {
                      if (data)
                          answer(std::move(data));
                      else
                          askItem(item, types, next + 1, phase, answer);
                  });
}

// Asks every item in order (or, when `firstOnly`, until one answers).
struct Gathering {
    std::vector<std::shared_ptr<PasteboardItem>> items;
    QStringList types;
    DataRequestPhase phase = DataRequestPhase::hover;
    bool firstOnly = false;
    std::vector<std::optional<PasteboardData>> answers;
    std::function<void(const std::vector<std::optional<PasteboardData>>&)> done;
};

void gather(const std::shared_ptr<Gathering>& g, std::size_t next) {
    if (next >= g->items.size()) {
        g->done(g->answers);
        return;
    }
    askItem(g->items[next], g->types, 0, g->phase, [g, next](std::optional<PasteboardData> data) {
        const bool answered = data.has_value();
        g->answers.push_back(std::move(data));
        if (answered && g->firstOnly)
            g->done(g->answers);
        else
            gather(g, next + 1);
    });
}

bool isLocalHost(const QString& host) {
    return host.isEmpty() || host == QLatin1String("localhost") ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

} // namespace

struct X11SelectionServer::Transfer {
    quint64 id = 0;
    Request request;
    PasteboardData data;
    qint64 size = 0;
    qint64 offset = 0;
    std::unique_ptr<QFile> file;
    bool finalSent = false;
    std::unique_ptr<ScheduledWork> patience;
};

X11SelectionServer::X11SelectionServer(X11Connection& connection, xcb_window_t owner,
                                       DragPasteboard& pasteboard, Clock& clock, Phase phase)
    : m_connection(connection), m_owner(owner), m_pasteboard(pasteboard), m_clock(clock),
      m_phase(std::move(phase)) {
    const quint32 longest = xcb_get_maximum_request_length(m_connection.get()) * 4;
    // Room for the request's own header.
    m_chunk = std::min(largestChunk, longest > 1024 ? longest - 1024 : 1024);
}

X11SelectionServer::~X11SelectionServer() {
    *m_alive = false;
    for (const auto& [id, request] : m_pending)
        notify(request, XCB_NONE);
    for (const std::unique_ptr<Transfer>& transfer : m_transfers)
        selectPropertyChanges(transfer->request.requestor, false);
    m_connection.flush();
}

QByteArrayList X11SelectionServer::announcedTypes() const {
    return XdndData::announcedTypes(m_pasteboard.orderedTypes().value_or(QStringList()),
                                    static_cast<int>(m_pasteboard.promises().size()));
}

bool X11SelectionServer::handle(const xcb_generic_event_t& event) {
    const quint8 type = event.response_type & 0x7f;
    if (type == XCB_SELECTION_REQUEST) {
        const auto& e = reinterpret_cast<const xcb_selection_request_event_t&>(event);
        if (e.owner != m_owner || e.selection != m_connection.atom("XdndSelection"))
            return false;
        // Clients from before ICCCM name no property: the target stands in.
        serve(Request{e.requestor, e.selection, e.target,
                      e.property != XCB_NONE ? e.property : e.target, e.time});
        return true;
    }
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (e.state != XCB_PROPERTY_DELETE)
            return false;
        // At most one transfer runs on a requestor's property: a new request
        // there ended the earlier one.
        for (const std::unique_ptr<Transfer>& transfer : m_transfers) {
            if (transfer->request.requestor == e.window && transfer->request.property == e.atom) {
                sendNext(*transfer);
                return true;
            }
        }
    }
    return false;
}

void X11SelectionServer::serve(const Request& request) {
    endEarlierOn(request);
    const quint64 id = m_nextID++;
    m_pending.emplace(id, request);
    const QByteArrayList announced = announcedTypes();
    if (request.target == m_connection.atom("TARGETS")) {
        std::vector<xcb_atom_t> atoms{m_connection.atom("TARGETS")};
        for (const QByteArray& name : announced)
            atoms.push_back(m_connection.atom(name.constData()));
        xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, request.requestor,
                            request.property, XCB_ATOM_ATOM, 32, static_cast<quint32>(atoms.size()),
                            atoms.data());
        m_pending.erase(id);
        notify(request, request.property);
        return;
    }
    const QByteArray target = m_connection.atomName(request.target);
    const QByteArray directSave(TypeIdentifier::directSave.data(),
                                TypeIdentifier::directSave.size());
    if (target == directSave && announced.contains(target)) {
        saveDirectly(id);
        return;
    }
    if (!announced.contains(target)) {
        reply(id, std::nullopt);
        return;
    }
    serveData(id, target);
}

void X11SelectionServer::serveData(quint64 id, const QByteArray& target) {
    auto g = std::make_shared<Gathering>();
    g->items = m_pasteboard.items();
    g->types = XdndData::sources(target, m_pasteboard.orderedTypes().value_or(QStringList()));
    g->phase = m_phase ? m_phase() : DataRequestPhase::hover;
    g->firstOnly = !XdndData::joinsItems(target);
    const std::weak_ptr<bool> alive = m_alive;
    if (!XdndData::carriesTitles(target)) {
        g->done = [this, alive, id,
                   target](const std::vector<std::optional<PasteboardData>>& answers) {
            if (!alive.expired())
                reply(id, XdndData::compose(target, answers));
        };
        gather(g, 0);
        return;
    }
    // Each link goes with its title: the titles are gathered once the links are.
    auto titles = std::make_shared<Gathering>();
    titles->items = g->items;
    titles->types = QStringList{QString(TypeIdentifier::urlName)};
    titles->phase = g->phase;
    g->done = [this, alive, id, target,
               titles](const std::vector<std::optional<PasteboardData>>& links) {
        if (alive.expired())
            return;
        titles->done = [this, alive, id, target,
                        links](const std::vector<std::optional<PasteboardData>>& named) {
            if (!alive.expired())
                reply(id, XdndData::compose(target, links, named));
        };
        gather(titles, 0);
    };
    gather(g, 0);
}

void X11SelectionServer::endEarlierOn(const Request& request) {
    // The requestor reads its new answer from the same property: a late
    // piece or answer of the earlier request would land where it reads.
    const auto samePlace = [&](const Request& earlier) {
        return earlier.requestor == request.requestor && earlier.property == request.property;
    };
    for (auto it = m_pending.begin(); it != m_pending.end();)
        it = samePlace(it->second) ? m_pending.erase(it) : std::next(it);
    std::vector<Transfer*> ended;
    for (const std::unique_ptr<Transfer>& transfer : m_transfers) {
        if (samePlace(transfer->request))
            ended.push_back(transfer.get());
    }
    for (Transfer* transfer : ended)
        finishTransfer(*transfer);
}

// A client's windows share the bits above the server's resource mask,
// whichever of its windows asks.
quint32 X11SelectionServer::clientOf(xcb_window_t window) const {
    return window & ~xcb_get_setup(m_connection.get())->resource_id_mask;
}

void X11SelectionServer::answered(xcb_window_t requestor) {
    ++m_answered;
    ++m_answeredByClient[clientOf(requestor)];
}

quint64 X11SelectionServer::answeredRequests(xcb_window_t window) const {
    const auto it = m_answeredByClient.find(clientOf(window));
    return it == m_answeredByClient.end() ? 0 : it->second;
}

bool X11SelectionServer::isDropTarget(xcb_window_t requestor) const {
    if (!m_dropTarget || !m_phase || m_phase() != DataRequestPhase::drop)
        return false;
    const std::vector<xcb_window_t> windows = m_dropTarget();
    return std::any_of(windows.begin(), windows.end(), [&](xcb_window_t window) {
        return window != XCB_NONE && clientOf(window) == clientOf(requestor);
    });
}

void X11SelectionServer::saveDirectly(quint64 id) {
    const auto answer = [this, id](const char* code) {
        replyBytes(id, QByteArray(code), XCB_ATOM_STRING);
    };
    // The place comes from a property any client can set, and the request
    // from any client that asks: only the drop's target, after the drop, has
    // a file saved.
    const auto request = m_pending.find(id);
    if (request == m_pending.end() || !isDropTarget(request->second.requestor)) {
        answer("E");
        return;
    }
    const std::optional<X11Connection::Property> chosen =
        m_connection.readProperty(m_owner, m_connection.atom(TypeIdentifier::directSave.data()));
    const std::vector<std::shared_ptr<FilePromiseProvider>> promises = m_pasteboard.promises();
    if (!chosen || promises.size() != 1) {
        answer("E");
        return;
    }
    QUrl url(QString::fromUtf8(chosen->value), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("file")) {
        answer("E"); // a bare name or a relative path is no place
        return;
    }
    if (!isLocalHost(url.host())) {
        // "F": the target may still take the data some other way.
        answer("F");
        return;
    }
    url.setHost(QString());
    const QString path = url.toLocalFile();
    if (!QDir::isAbsolutePath(path) || !path.startsWith(u'/') || path.endsWith(u'/') ||
        path.contains(QChar(0))) {
        answer("E");
        return;
    }
    // Something already there is never replaced; the target may take the
    // data another way.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        answer("F");
        return;
    }
    const std::weak_ptr<bool> alive = m_alive;
    const xcb_window_t requestor = request->second.requestor;
    promises.front()->writePromise(
        path, [this, alive, answer, path, requestor](const std::optional<QString>& error) {
            if (alive.expired())
                return;
            if (!error) {
                answered(requestor);
                answer("S");
                return;
            }
            // Taken by something else while the file was made: left alone.
            answer(QFileInfo::exists(path) || QFileInfo(path).isSymLink() ? "F" : "E");
        });
}

void X11SelectionServer::replyBytes(quint64 id, const QByteArray& bytes, xcb_atom_t type) {
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    const Request request = it->second;
    m_pending.erase(it);
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, request.requestor,
                        request.property, type, 8, static_cast<quint32>(bytes.size()),
                        bytes.constData());
    notify(request, request.property);
}

void X11SelectionServer::reply(quint64 id, const std::optional<PasteboardData>& data) {
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    const Request request = it->second;
    if (!data) {
        m_pending.erase(it);
        notify(request, XCB_NONE);
        return;
    }
    const qint64 size = data->file ? QFileInfo(*data->file).size() : data->bytes.size();
    if (size > static_cast<qint64>(m_chunk)) {
        m_pending.erase(it);
        startTransfer(request, *data, size);
        return;
    }
    QByteArray bytes = data->bytes;
    if (data->file) {
        QFile file(*data->file);
        if (!file.open(QIODevice::ReadOnly)) {
            m_pending.erase(it);
            notify(request, XCB_NONE);
            return;
        }
        bytes = file.read(m_chunk);
    }
    answered(request.requestor);
    replyBytes(id, bytes, request.target);
}

void X11SelectionServer::notify(const Request& request, xcb_atom_t property) {
    xcb_selection_notify_event_t event{};
    event.response_type = XCB_SELECTION_NOTIFY;
    event.time = request.time;
    event.requestor = request.requestor;
    event.selection = request.selection;
    event.target = request.target;
    event.property = property;
    xcb_send_event(m_connection.get(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    m_connection.flush();
}

void X11SelectionServer::startTransfer(const Request& request, const PasteboardData& data,
                                       qint64 size) {
    auto transfer = std::make_unique<Transfer>();
    transfer->request = request;
    transfer->data = data;
    transfer->size = size;
    if (data.file) {
        transfer->file = std::make_unique<QFile>(*data.file);
        if (!transfer->file->open(QIODevice::ReadOnly)) {
            notify(request, XCB_NONE);
            return;
        }
    }
    answered(request.requestor);
    // The target deletes the property to ask for each next piece.
    selectPropertyChanges(request.requestor, true);
    const quint32 announcedSize = static_cast<quint32>(std::min<qint64>(size, 0xffffffff));
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, request.requestor,
                        request.property, m_connection.atom("INCR"), 32, 1, &announcedSize);
    transfer->id = m_nextID++;
    Transfer& started = *transfer;
    m_transfers.push_back(std::move(transfer));
    notify(request, request.property);
    armPatience(started);
}

void X11SelectionServer::armPatience(Transfer& transfer) {
    const std::weak_ptr<bool> alive = m_alive;
    const quint64 id = transfer.id;
    transfer.patience = m_clock.schedule(transferPatience, [this, alive, id] {
        // Given up once the timer that fired is no longer running.
        QTimer::singleShot(0, [this, alive, id] {
            if (alive.expired())
                return;
            for (const std::unique_ptr<Transfer>& t : m_transfers) {
                if (t->id == id) {
                    finishTransfer(*t);
                    return;
                }
            }
        });
    });
}

void X11SelectionServer::sendNext(Transfer& transfer) {
    armPatience(transfer);
    if (transfer.finalSent) {
        finishTransfer(transfer);
        return;
    }
    QByteArray piece;
    if (transfer.offset < transfer.size) {
        piece = transfer.file ? transfer.file->read(m_chunk)
                              : transfer.data.bytes.mid(transfer.offset, m_chunk);
        transfer.offset += piece.size();
        if (piece.isEmpty())
            transfer.offset = transfer.size; // the file shrank: end here
    }
    // An empty piece ends the transfer.
    if (piece.isEmpty())
        transfer.finalSent = true;
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, transfer.request.requestor,
                        transfer.request.property, transfer.request.target, 8,
                        static_cast<quint32>(piece.size()), piece.constData());
    m_connection.flush();
}

void X11SelectionServer::finishTransfer(Transfer& transfer) {
    const xcb_window_t requestor = transfer.request.requestor;
    m_transfers.remove_if([&](const std::unique_ptr<Transfer>& t) { return t.get() == &transfer; });
    const bool stillUsed = std::any_of(
        m_transfers.begin(), m_transfers.end(),
        [&](const std::unique_ptr<Transfer>& t) { return t->request.requestor == requestor; });
    if (!stillUsed)
        selectPropertyChanges(requestor, false);
    m_connection.flush();
}

void X11SelectionServer::selectPropertyChanges(xcb_window_t window, bool on) {
    if (on)
        m_connection.addEventMask(window, XCB_EVENT_MASK_PROPERTY_CHANGE);
    else
        m_connection.removeEventMask(window, XCB_EVENT_MASK_PROPERTY_CHANGE);
}

} // namespace tarvo
