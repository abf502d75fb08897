// GLib's headers use "signals" as a name: they come before any Qt header.
#include "AtSpiCalls.h"

#include "AtSpiAccessibility.h"

#include <QByteArray>
#include <QFileInfo>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tarvo {

namespace {

using atspi::accessibleInterface;
using atspi::Clock;
using atspi::Connection;
using atspi::Reference;
using atspi::Variant;
// One query's calls, all under the same deadline.
using Query = atspi::Calls;

constexpr char componentInterface[] = "org.a11y.atspi.Component";
constexpr quint32 screenCoordinates = 0;
constexpr int stateShowing = 25;
constexpr int stateSingleLine = 26;
// Bounds on the walks through one application's tree.
constexpr int maxDepth = 32;
constexpr int maxAncestors = 8;

// The roles that answer the question, walking up from the deepest element.
bool isDecisive(const std::string& role) {
    static const char* const roles[] = {"text",       "entry", "password text", "terminal", "table",
                                        "tree table", "tree",  "list",          "list box"};
    for (const char* r : roles)
        if (role == r)
            return true;
    return false;
}

std::optional<QByteArray> sessionBusAddress() {
    const QByteArray fromEnvironment = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // The bus the user session offers by default; never start one of our own.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(QString::fromLocal8Bit(runtime + "/bus")))
        return "unix:path=" + runtime + "/bus";
    return std::nullopt;
}

// Opens a bus connection by `deadline`, or none. The connection is made
// asynchronously on a context of this thread's own: a bus that accepts the
// socket and then never answers (a stopped daemon) is given up at the
// deadline instead of holding the thread for good.
Connection connect(const QByteArray& address, Clock::time_point deadline) {
    struct Attempt {
        GDBusConnection* connection = nullptr;
        bool done = false;
    };
    // Shared with the callback, which may outlive this call when even the
    // cancellation is not heard.
    auto* attempt = new std::shared_ptr<Attempt>(std::make_shared<Attempt>());
    const std::shared_ptr<Attempt> mine = *attempt;

    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();
    g_dbus_connection_new_for_address(
        address.constData(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable,
        [](GObject*, GAsyncResult* result, gpointer data) {
            auto* shared = static_cast<std::shared_ptr<Attempt>*>(data);
            GError* error = nullptr;
            GDBusConnection* connection = g_dbus_connection_new_for_address_finish(result, &error);
            if (error)
                g_error_free(error);
            if (shared->use_count() > 1) {
                (*shared)->connection = connection;
                (*shared)->done = true;
            } else if (connection) {
                g_object_unref(connection); // its caller gave up waiting
            }
            delete shared;
        },
        attempt);

    // Waits by the deadline, then once more a short while for the
    // cancellation to come back.
    const auto waitUntil = [&](Clock::time_point until) {
        while (!mine->done) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            if (left.count() <= 0)
                return;
            GSource* timer = g_timeout_source_new(static_cast<guint>(left.count()));
            g_source_set_callback(
                timer, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
            g_source_attach(timer, context);
            g_main_context_iteration(context, TRUE);
            g_source_destroy(timer);
            g_source_unref(timer);
        }
    };
    waitUntil(deadline);
    if (!mine->done) {
        g_cancellable_cancel(cancellable);
        waitUntil(Clock::now() + std::chrono::milliseconds(50));
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    g_object_unref(cancellable);
    return Connection(mine->done ? mine->connection : nullptr);
}

} // namespace

struct AtSpiAccessibility::Outcome {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool trusted = false;
    std::optional<QString> role;
};

class AtSpiAccessibility::Worker {
public:
    explicit Worker(std::chrono::milliseconds deadline) : m_deadline(deadline) {}

    // The thread owns the worker: whoever stops it never waits for a query
    // that a stuck bus or application holds up.
    static std::shared_ptr<Worker> start(std::chrono::milliseconds deadline) {
        auto worker = std::make_shared<Worker>(deadline);
        std::thread([worker] { worker->run(); }).detach();
        return worker;
    }

    void stop() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
    }

    // None while an earlier query is still running.
    std::shared_ptr<Outcome> submit(bool trustOnly, int x, int y, qint32 pid) {
        const std::lock_guard lock(m_mutex);
        if (m_job)
            return nullptr;
        auto outcome = std::make_shared<Outcome>();
        m_job = Job{trustOnly, x, y, pid, outcome};
        m_wake.notify_all();
        return outcome;
    }

private:
    struct Job {
        bool trustOnly = false;
        int x = 0;
        int y = 0;
        qint32 pid = 0;
        std::shared_ptr<Outcome> outcome;
    };

    void run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop || m_job; });
                if (m_stop)
                    return;
                job = *m_job;
            }
            Query query(Clock::now() + m_deadline);
            bool trusted = false;
            std::optional<QString> role;
            if (job.trustOnly)
                trusted = isTrusted(query);
            else
                role = roleAt(query, job.x, job.y, job.pid);
            // Free for the next query before the answer is out: a caller that
            // asks again as soon as it has its answer must not find this one
            // still running.
            {
                const std::lock_guard lock(m_mutex);
                m_job.reset();
            }
            {
                const std::lock_guard lock(job.outcome->mutex);
                job.outcome->done = true;
                job.outcome->trusted = trusted;
                job.outcome->role = std::move(role);
            }
            job.outcome->finished.notify_all();
        }
    }

    GDBusConnection* session(const Query& query) {
        if (m_session && g_dbus_connection_is_closed(m_session.get()))
            m_session.reset();
        if (!m_session)
            if (const std::optional<QByteArray> address = sessionBusAddress())
                m_session = connect(*address, query.deadline());
        return m_session.get();
    }

    bool isTrusted(Query& query) {
        GDBusConnection* bus = session(query);
        const Variant owned =
            query.call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                       "NameHasOwner", g_variant_new("(s)", "org.a11y.Bus"), "(b)");
        gboolean hasOwner = FALSE;
        if (!owned)
            return false;
        g_variant_get(owned.get(), "(b)", &hasOwner);
        if (!hasOwner)
            return false;
        const Variant enabled =
            query.call(bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties",
                       "Get", g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), "(v)");
        if (!enabled)
            return false;
        GVariant* inner = nullptr;
        g_variant_get(enabled.get(), "(v)", &inner);
        const Variant value(inner);
        return value && g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN) &&
               g_variant_get_boolean(value.get());
    }

    GDBusConnection* accessibilityBus(Query& query) {
        if (m_a11y && g_dbus_connection_is_closed(m_a11y.get())) {
            m_a11y.reset();
            m_pids.clear();
        }
        if (m_a11y)
            return m_a11y.get();
        const std::optional<QByteArray> address = query.accessibilityBusAddress(session(query));
        if (!address)
            return nullptr;
        m_a11y = connect(*address, query.deadline());
        return m_a11y.get();
    }

    std::optional<qint32> processOf(Query& query, GDBusConnection* bus, const std::string& name) {
        if (const auto it = m_pids.find(name); it != m_pids.end())
            return it->second;
        const std::optional<qint64> pid = query.processOf(bus, name);
        if (!pid)
            return std::nullopt;
        // Bus names are never reused, so the answer holds for good.
        m_pids[name] = static_cast<qint32>(*pid);
        return static_cast<qint32>(*pid);
    }

    std::optional<quint32> states(Query& query, GDBusConnection* bus, const Reference& of) {
        const Variant reply = query.call(bus, of.name.c_str(), of.path.c_str(), accessibleInterface,
                                         "GetState", nullptr, "(au)");
        if (!reply)
            return std::nullopt;
        GVariantIter* iter = nullptr;
        g_variant_get(reply.get(), "(au)", &iter);
        guint32 low = 0;
        const bool found = g_variant_iter_next(iter, "u", &low);
        g_variant_iter_free(iter);
        if (!found)
            return std::nullopt;
        return low;
    }

    bool contains(Query& query, GDBusConnection* bus, const Reference& of, int x, int y) {
        const Variant reply =
            query.call(bus, of.name.c_str(), of.path.c_str(), componentInterface, "GetExtents",
                       g_variant_new("(u)", screenCoordinates), "((iiii))");
        if (!reply)
            return false;
        gint32 ex = 0, ey = 0, ew = 0, eh = 0;
        g_variant_get(reply.get(), "((iiii))", &ex, &ey, &ew, &eh);
        return x >= ex && x < ex + ew && y >= ey && y < ey + eh;
    }

    std::optional<Reference> childAt(Query& query, GDBusConnection* bus, const Reference& of, int x,
                                     int y) {
        const Variant reply = query.call(bus, of.name.c_str(), of.path.c_str(), componentInterface,
                                         "GetAccessibleAtPoint",
                                         g_variant_new("(iiu)", x, y, screenCoordinates), "((so))");
        if (!reply)
            return std::nullopt;
        const gchar* name = nullptr;
        const gchar* path = nullptr;
        g_variant_get(reply.get(), "((&s&o))", &name, &path);
        Reference child{name, path};
        if (child.isNull() || child == of)
            return std::nullopt;
        return child;
    }

    std::optional<Reference> parentOf(Query& query, GDBusConnection* bus, const Reference& of) {
        const Variant value = query.property(bus, of, "Parent");
        if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE("(so)")))
            return std::nullopt;
        const gchar* name = nullptr;
        const gchar* path = nullptr;
        g_variant_get(value.get(), "(&s&o)", &name, &path);
        Reference parent{name, path};
        if (parent.isNull())
            return std::nullopt;
        return parent;
    }

    std::optional<QString> roleAt(Query& query, int x, int y, qint32 pid) {
        if (pid <= 0)
            return std::nullopt;
        GDBusConnection* bus = accessibilityBus(query);
        if (!bus)
            return std::nullopt;

        // Only the application under the pointer is asked anything, so that
        // another one that hangs costs nothing.
        std::optional<Reference> application;
        for (const Reference& app :
             query.children(bus, Reference{atspi::registryName, atspi::rootPath})) {
            if (processOf(query, bus, app.name) == pid) {
                application = app;
                break;
            }
        }
        if (!application)
            return std::nullopt;

        std::optional<Reference> element;
        for (const Reference& frame : query.children(bus, *application)) {
            const std::optional<quint32> state = states(query, bus, frame);
            if (state && (*state & (1u << stateShowing)) && contains(query, bus, frame, x, y)) {
                element = frame;
                break;
            }
        }
        if (!element)
            return std::nullopt;
        for (int depth = 0; depth < maxDepth && !query.expired(); ++depth) {
            const std::optional<Reference> child = childAt(query, bus, *element, x, y);
            if (!child)
                break;
            element = child;
        }
        if (query.expired())
            return std::nullopt;

        // A text view's viewport is a filler inside the text: walk up to the
        // element that says what this is.
        std::optional<std::string> deepestRole;
        std::optional<Reference> current = element;
        for (int level = 0; current && level < maxAncestors; ++level) {
            const std::optional<std::string> role = query.roleName(bus, *current);
            if (!role)
                return std::nullopt;
            if (!deepestRole)
                deepestRole = role;
            if (isDecisive(*role)) {
                const std::optional<quint32> state = states(query, bus, *current);
                const bool singleLine = state && (*state & (1u << stateSingleLine));
                return AtSpiAccessibility::roleName(QString::fromStdString(*role), singleLine);
            }
            current = parentOf(query, bus, *current);
        }
        if (!deepestRole)
            return std::nullopt;
        return AtSpiAccessibility::roleName(QString::fromStdString(*deepestRole), false);
    }

    std::chrono::milliseconds m_deadline;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Job> m_job;
    bool m_stop = false;
    // Used on the worker thread only.
    Connection m_session;
    Connection m_a11y;
    std::unordered_map<std::string, qint32> m_pids;
};

AtSpiAccessibility::AtSpiAccessibility(Timing timing)
    : m_timing(timing), m_worker(Worker::start(timing.queryDeadline)) {}

AtSpiAccessibility::~AtSpiAccessibility() {
    m_worker->stop();
}

void AtSpiAccessibility::setScreenGeometry(QPoint primaryOrigin, double devicePixelRatio) {
    m_origin = primaryOrigin;
    m_scale = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
}

bool AtSpiAccessibility::isTrusted() {
    const auto now = Clock::now();
    if (m_trusted && now - m_trustedAt < m_timing.trustLifetime)
        return *m_trusted;
    const auto remember = [&](bool trusted) {
        m_lateTrust.reset();
        m_trusted = trusted;
        m_trustedAt = now;
        return trusted;
    };
    // An answer that came too late for its caller is still the bus's latest
    // word: on a busy machine every answer may come late.
    if (m_lateTrust) {
        std::unique_lock lock(m_lateTrust->mutex);
        if (m_lateTrust->done) {
            const bool trusted = m_lateTrust->trusted;
            lock.unlock();
            return remember(trusted);
        }
    }
    const std::shared_ptr<Outcome> outcome = m_worker->submit(true, 0, 0, 0);
    if (!outcome)
        return m_trusted.value_or(false);
    std::unique_lock lock(outcome->mutex);
    if (!outcome->finished.wait_for(lock, m_timing.answerWait, [&] { return outcome->done; })) {
        m_lateTrust = outcome;
        return m_trusted.value_or(false);
    }
    const bool trusted = outcome->trusted;
    lock.unlock();
    return remember(trusted);
}

std::optional<QString> AtSpiAccessibility::roleAt(Point point, qint32 pid) {
    const int x = static_cast<int>(point.x * m_scale) + m_origin.x();
    const int y = static_cast<int>(point.y * m_scale) + m_origin.y();
    const std::shared_ptr<Outcome> outcome = m_worker->submit(false, x, y, pid);
    if (!outcome)
        return std::nullopt;
    std::unique_lock lock(outcome->mutex);
    if (!outcome->finished.wait_for(lock, m_timing.answerWait, [&] { return outcome->done; }))
        return std::nullopt;
    return outcome->role;
}

QString AtSpiAccessibility::roleName(const QString& atspiRole, bool singleLine) {
    if (atspiRole == u"text")
        return singleLine ? QStringLiteral("AXTextField") : QStringLiteral("AXTextArea");
    if (atspiRole == u"terminal")
        return QStringLiteral("AXTextArea");
    if (atspiRole == u"entry" || atspiRole == u"password text")
        return QStringLiteral("AXTextField");
    if (atspiRole == u"table" || atspiRole == u"tree table")
        return QStringLiteral("AXTable");
    if (atspiRole == u"tree")
        return QStringLiteral("AXOutline");
    if (atspiRole == u"list" || atspiRole == u"list box")
        return QStringLiteral("AXList");
    if (atspiRole == u"document web")
        return QStringLiteral("AXWebArea");
    return atspiRole;
}

} // namespace tarvo
