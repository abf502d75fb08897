#include "TarvoProgram.h"

#include "support/X11TestTools.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace tarvo::test {

X11Windows::X11Windows() : m_connection(xcb_connect(nullptr, nullptr)) {
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
}

X11Windows::~X11Windows() {
    xcb_disconnect(m_connection);
}

xcb_atom_t X11Windows::atom(const char* name) {
    X11Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, quint16(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

std::vector<quint32> X11Windows::cardinals(xcb_window_t window, const char* property) {
    X11Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
        nullptr));
    std::vector<quint32> values;
    if (!reply || reply->format != 32)
        return values;
    const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    values.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    return values;
}

bool X11Windows::hasWindowManager() {
    return !cardinals(m_root, "_NET_SUPPORTING_WM_CHECK").empty();
}

std::optional<xcb_window_t> X11Windows::panelOf(qint64 pid) {
    return find(m_root, pid, atom("_NET_WM_WINDOW_TYPE_UTILITY"));
}

std::optional<xcb_window_t> X11Windows::toolTipOf(qint64 pid) {
    return find(m_root, pid, atom("_NET_WM_WINDOW_TYPE_TOOLTIP"));
}

QString X11Windows::name(xcb_window_t window) {
    X11Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, 0, window, atom("_NET_WM_NAME"),
                                                atom("UTF8_STRING"), 0, 1024),
                               nullptr));
    if (!reply || reply->format != 8)
        return {};
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

bool X11Windows::isViewable(xcb_window_t window) {
    X11Reply<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    // The shelf rests mapped with an empty shape: out of sight all the same.
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE &&
           !shape(window, XCB_SHAPE_SK_BOUNDING).empty();
}

QSize X11Windows::size(xcb_window_t window) {
    X11Reply<xcb_get_geometry_reply_t> reply(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    return reply ? QSize(reply->width, reply->height) : QSize();
}

QRect X11Windows::rootGeometry(xcb_window_t window) {
    X11Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    if (!origin)
        return {};
    return QRect(QPoint(origin->dst_x, origin->dst_y), size(window));
}

std::vector<QRect> X11Windows::shape(xcb_window_t window, xcb_shape_kind_t kind) {
    X11Reply<xcb_shape_get_rectangles_reply_t> reply(xcb_shape_get_rectangles_reply(
        m_connection, xcb_shape_get_rectangles(m_connection, window, kind), nullptr));
    std::vector<QRect> rects;
    if (!reply)
        return rects;
    const xcb_rectangle_t* list = xcb_shape_get_rectangles_rectangles(reply.get());
    for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(reply.get()); ++i)
        rects.emplace_back(list[i].x, list[i].y, list[i].width, list[i].height);
    return rects;
}

xcb_window_t X11Windows::dragOwner() {
    X11Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, atom("XdndSelection")), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_NONE);
}

bool X11Windows::covers(const std::vector<QRect>& rects, QPoint point) {
    return std::any_of(rects.begin(), rects.end(),
                       [&](const QRect& rect) { return rect.contains(point); });
}

QRect X11Windows::extent(const std::vector<QRect>& rects) {
    QRect all;
    for (const QRect& rect : rects)
        all |= rect;
    return all;
}

std::optional<xcb_window_t> X11Windows::find(xcb_window_t window, qint64 pid, xcb_atom_t type) {
    X11Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
    if (!tree)
        return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t child = children[i];
        const std::vector<quint32> pids = cardinals(child, "_NET_WM_PID");
        const std::vector<quint32> types = cardinals(child, "_NET_WM_WINDOW_TYPE");
        if (!pids.empty() && pids.front() == pid && !types.empty() && types.front() == type)
            return child;
        if (std::optional<xcb_window_t> found = find(child, pid, type))
            return found;
    }
    return std::nullopt;
}

TarvoProcess::TarvoProcess(const TempDir& home) : m_home(home) {
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
}

TarvoProcess::~TarvoProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QProcessEnvironment TarvoProcess::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.file("data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.file("config"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(m_extra);
    return env;
}

void TarvoProcess::setVariable(const QString& name, const QString& value) {
    m_extra.insert(name, value);
}

void TarvoProcess::start() {
    m_process.setProcessEnvironment(environment());
    m_process.start(program());
}

int TarvoProcess::startAgain() {
    QProcess again;
    again.setProcessEnvironment(environment());
    again.setProcessChannelMode(QProcess::ForwardedChannels);
    again.start(program());
    if (!again.waitForFinished(20000))
        return -1;
    return again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1;
}

int TarvoProcess::terminate() {
    // A process that already ended has no id: 0 would signal our own group.
    if (const qint64 pid = m_process.processId(); pid > 0)
        ::kill(pid_t(pid), SIGTERM);
    if (!waitFor([this] { return m_process.state() == QProcess::NotRunning; }, 20000))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QStringList TarvoProcess::itemFolders() const {
    QStringList folders;
    const QDir items(itemsFolder());
    for (const QString& name : items.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo::exists(items.filePath(name + QStringLiteral("/item.json"))))
            folders.push_back(items.filePath(name));
    }
    return folders;
}

QString TarvoProcess::program() {
    return QString::fromLocal8Bit(qgetenv("TARVO_PROGRAM"));
}

QPoint OpenShelf::tile(int index, int count) const {
    const double fromMiddle = (index - (count - 1) / 2.0) * (56 + 12);
    return {frame.center().x() + qRound(fromMiddle), frame.top() + 38};
}

std::optional<OpenShelf> openShelf(TarvoProcess& tarvo, X11Windows& windows) {
    OpenShelf shelf;
    std::optional<xcb_window_t> panel;
    if (!waitFor([&] { return (panel = windows.panelOf(tarvo.pid())).has_value(); }, 20000))
        return std::nullopt;
    shelf.panel = *panel;
    if (tarvo.startAgain() != 0 || !waitFor([&] { return windows.isViewable(shelf.panel); }, 10000))
        return std::nullopt;
    // Unfolded once it keeps its place for half a second.
    int same = 0;
    if (!waitFor(
            [&] {
                const QRect now = windows.rootGeometry(shelf.panel);
                same = now == shelf.frame ? same + 1 : 0;
                shelf.frame = now;
                pump(100);
                return same >= 5;
            },
            10000))
        return std::nullopt;
    return shelf;
}

std::optional<QPoint> readyPoint(QProcess& helper, int ms) {
    std::optional<QPoint> centre;
    waitFor(
        [&] {
            while (helper.canReadLine()) {
                const QStringList parts = QString::fromUtf8(helper.readLine()).split(u' ');
                if (parts.value(0) == QLatin1String("ready"))
                    centre = QPoint(parts.value(1).toInt(), parts.value(2).trimmed().toInt());
            }
            return centre.has_value();
        },
        ms);
    return centre;
}

} // namespace tarvo::test
