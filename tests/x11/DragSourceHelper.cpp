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

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Writes its file when the target asks for the direct save, as the protocol
// has it: the target has put the place on the source window beforehand.
class DirectSaveData final : public QMimeData {
public:
    DirectSaveData(QByteArray name, QByteArray contents, QString actual = {})
        : m_name(std::move(name)), m_contents(std::move(contents)), m_actual(std::move(actual)) {}

    QStringList formats() const override { return {QStringLiteral("XdndDirectSave0")}; }
    bool hasFormat(const QString& format) const override {
        return format == QLatin1String("XdndDirectSave0");
    }

    // The source's side of the protocol: the suggested name on its window.
    void offerName() const {
        xcb_connection_t* c = qtConnection();
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, dragOwner(), atom("XdndDirectSave0"),
                            atom("text/plain"), 8, static_cast<uint32_t>(m_name.size()),
                            m_name.constData());
        xcb_flush(c);
    }

protected:
    QVariant retrieveData(const QString& format, QMetaType) const override {
        if (format != QLatin1String("XdndDirectSave0"))
            return {};
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
        QString place = url.toLocalFile();
        if (!m_actual.isEmpty())
            place = QFileInfo(place).dir().filePath(m_actual);
        QFile file(place);
        if (!url.isLocalFile() || !file.open(QIODevice::WriteOnly))
            return QByteArray("E");
        file.write(m_contents);
        std::printf("saved %s\n", qPrintable(place));
        std::fflush(stdout);
        return QByteArray("S");
    }

private:
    QByteArray m_name;
    QByteArray m_contents;
    QString m_actual;
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
        } else if (mode == QLatin1String("save-as")) {
            auto* data = new DirectSaveData(m_arguments.value(1).toUtf8(),
                                            m_arguments.value(3).toUtf8(), m_arguments.value(2));
            drag->setMimeData(data);
            QTimer::singleShot(0, this, [data] { data->offerName(); });
        } else {
            auto* data =
                new DirectSaveData(m_arguments.value(1).toUtf8(), m_arguments.value(2).toUtf8());
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
