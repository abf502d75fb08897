// A small drag source for the X11 suite: a window that starts a Qt drag when
// the pointer, pressed on it, moves far enough. What it offers is chosen on
// the command line:
//   file PATH            the file's URL
//   types                more than three types, so the drag names them in
//                        its type list
//   save NAME CONTENTS   a direct save only: the file NAME is written with
//                        CONTENTS where the drop target asks for it
//   save-as NAME ACTUAL CONTENTS
//                        the same, but the file is written under ACTUAL in
//                        the folder asked for, as some archivers do
//   save-slowly NAME SIZE
//                        answers at once with an empty file, as a browser
//                        does, and writes SIZE bytes into it afterwards, a
//                        piece at a time
//   save-folder NAME FOLDER
//                        writes a folder FOLDER holding two files beside the
//                        place asked for, as an archiver does for a member
//                        inside a folder
//   save-two NAME        writes two files beside the place asked for
//   refuse NAME CONTENTS answers that it cannot save ("F") and offers
//                        CONTENTS as application/octet-stream
//   refuse-only NAME     answers "F" and offers nothing else
// Prints "ready X Y" (the window's centre in root pixels) once it shows,
// and "dropped ACTION" after each drag.
#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

xcb_connection_t* qtConnection() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(const char* name) {
    xcb_connection_t* c = qtConnection();
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return value;
}

xcb_window_t dragOwner() {
    xcb_connection_t* c = qtConnection();
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, atom("XdndSelection")), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

// The bytes "save-slowly" writes: the same for a given size in every run.
QByteArray slowContents(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 4096) % 251);
    return bytes;
}

// Writes its file when the target asks for the direct save, as the protocol
// has it: the target has put the place on the source window beforehand.
class DirectSaveData final : public QMimeData {
public:
    DirectSaveData(QString mode, QStringList arguments)
        : m_mode(std::move(mode)), m_arguments(std::move(arguments)) {}

    QStringList formats() const override {
        if (m_mode == QLatin1String("refuse"))
            return {QStringLiteral("XdndDirectSave0"), QStringLiteral("application/octet-stream")};
        return {QStringLiteral("XdndDirectSave0")};
    }
    bool hasFormat(const QString& format) const override { return formats().contains(format); }

    // The source's side of the protocol: the suggested name on its window.
    void offerName() const {
        const QByteArray name = m_arguments.value(0).toUtf8();
        xcb_connection_t* c = qtConnection();
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, dragOwner(), atom("XdndDirectSave0"),
                            atom("text/plain"), 8, static_cast<uint32_t>(name.size()),
                            name.constData());
        xcb_flush(c);
    }

protected:
    QVariant retrieveData(const QString& format, QMetaType) const override {
        if (format == QLatin1String("application/octet-stream")) {
            std::printf("read octet-stream\n");
            std::fflush(stdout);
            return m_arguments.value(1).toUtf8();
        }
        if (format != QLatin1String("XdndDirectSave0"))
            return {};
        if (m_mode.startsWith(QLatin1String("refuse")))
            return QByteArray("F");
        xcb_connection_t* c = qtConnection();
        xcb_get_property_reply_t* reply =
            xcb_get_property_reply(c,
                                   xcb_get_property(c, 0, dragOwner(), atom("XdndDirectSave0"),
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
                                   nullptr);
        QByteArray uri;
        if (reply)
            uri = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                             xcb_get_property_value_length(reply));
        std::free(reply);
        QUrl url = QUrl::fromEncoded(uri);
        url.setHost(QString()); // this machine's own name
        if (!url.isLocalFile())
            return QByteArray("E");
        const QString place = url.toLocalFile();
        const QDir folder = QFileInfo(place).dir();
        if (m_mode == QLatin1String("save-folder")) {
            const QString inner = folder.filePath(m_arguments.value(1));
            if (!folder.mkdir(m_arguments.value(1)) ||
                !write(inner + QStringLiteral("/one.txt"), "first") ||
                !write(inner + QStringLiteral("/two.txt"), "second"))
                return QByteArray("E");
            return saved(inner);
        }
        if (m_mode == QLatin1String("save-two")) {
            if (!write(folder.filePath(QStringLiteral("one.txt")), "first") ||
                !write(folder.filePath(QStringLiteral("two.txt")), "second"))
                return QByteArray("E");
            return saved(folder.path());
        }
        if (m_mode == QLatin1String("save-slowly")) {
            if (!write(place, {}))
                return QByteArray("E");
            writeSlowly(place, slowContents(m_arguments.value(1).toLongLong()));
            return saved(place);
        }
        const QString actual =
            m_mode == QLatin1String("save-as") ? folder.filePath(m_arguments.value(1)) : place;
        if (!write(actual, m_arguments.value(m_mode == QLatin1String("save-as") ? 2 : 1).toUtf8()))
            return QByteArray("E");
        return saved(actual);
    }

private:
    static bool write(const QString& path, const QByteArray& contents) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    }
    static QVariant saved(const QString& path) {
        std::printf("saved %s\n", qPrintable(path));
        std::fflush(stdout);
        return QByteArray("S");
    }
    // Opens the file again a moment after answering and writes it in pieces,
    // keeping it open between them, as a download into it does: on a thread
    // of its own, whatever the drag's loops do meanwhile.
    static void writeSlowly(const QString& path, QByteArray contents) {
        std::thread([path, contents = std::move(contents)] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                std::printf("could not write %s\n", qPrintable(path));
                std::fflush(stdout);
                return;
            }
            for (qsizetype at = 0; at < contents.size();) {
                const qsizetype piece = std::min<qsizetype>(256 * 1024, contents.size() - at);
                file.write(contents.constData() + at, piece);
                file.flush();
                at += piece;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            file.close();
            std::printf("written %lld\n", static_cast<long long>(contents.size()));
            std::fflush(stdout);
        }).detach();
    }

    QString m_mode;
    QStringList m_arguments;
};

class SourceWindow final : public QWidget {
public:
    explicit SourceWindow(QStringList arguments) : m_arguments(std::move(arguments)) {
        setWindowTitle(QStringLiteral("drag source"));
        resize(240, 160);
    }

protected:
    void showEvent(QShowEvent*) override {
        QTimer::singleShot(300, this, [this] {
            const QPoint centre = mapToGlobal(rect().center()) * devicePixelRatio();
            std::printf("ready %d %d\n", centre.x(), centre.y());
            std::fflush(stdout);
        });
    }
    void mousePressEvent(QMouseEvent* event) override { m_pressedAt = event->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton) ||
            (event->position().toPoint() - m_pressedAt).manhattanLength() <
                QApplication::startDragDistance())
            return;
        auto* drag = new QDrag(this);
        const QString mode = m_arguments.value(0);
        if (mode == QLatin1String("file")) {
            auto* data = new QMimeData;
            data->setUrls({QUrl::fromLocalFile(m_arguments.value(1))});
            drag->setMimeData(data);
        } else if (mode == QLatin1String("types")) {
            auto* data = new QMimeData;
            data->setHtml(QStringLiteral("<b>bold words</b>"));
            data->setText(QStringLiteral("bold words"));
            data->setData(QStringLiteral("application/x-tarvo-test"), "private");
            drag->setMimeData(data);
        } else {
            auto* data = new DirectSaveData(mode, m_arguments.mid(1));
            drag->setMimeData(data);
            // Inside the drag's own loop, once the drag owns the selection.
            QTimer::singleShot(0, this, [data] { data->offerName(); });
        }
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        std::printf("dropped %d\n", static_cast<int>(action));
        std::fflush(stdout);
    }

private:
    QStringList m_arguments;
    QPoint m_pressedAt;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SourceWindow window(app.arguments().mid(1));
    window.move(80, 120);
    window.show();
    return app.exec();
}
