// A drop target for the drag-out suite: one Qt window of a given class at a
// given place that takes the first type it understands from what the drag
// offers, in the drag's order, as an application that takes the first type
// it understands would.
//   tarvo-test-dragout-target --class NAME --geometry x,y,w,h [--take MIME]
// --take reads that type instead. --read-while-hovering reads the file list
// while the drag hovers and nothing at the drop, as some browsers do. Prints,
// one line each:
//   ready X Y                  once the window shows, with its centre in root
//                              pixels
//   enter ACTION TYPE...       the offered action and types, in order
//   leave
//   read TYPE SUMMARY          what it read while hovering
//   drop ACTION TYPE SUMMARY   what it took: a file list as its URLs, text as
//                              itself, other data as its size and SHA-256
#include <QApplication>
#include <QCryptographicHash>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <optional>

namespace {

QString actionName(Qt::DropAction action) {
    switch (action) {
    case Qt::MoveAction:
        return QStringLiteral("move");
    case Qt::LinkAction:
        return QStringLiteral("link");
    default:
        return QStringLiteral("copy");
    }
}

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString summary(const QString& type, const QByteArray& bytes) {
    if (type == QLatin1String("text/uri-list") || type.startsWith(QLatin1String("text/plain")))
        return QString::fromUtf8(bytes).trimmed().replace(QLatin1String("\r\n"),
                                                          QLatin1String(" "));
    return QStringLiteral("%1 %2")
        .arg(bytes.size())
        .arg(QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
}

class Target final : public QWidget {
public:
    Target(QString take, bool readWhileHovering)
        : m_take(std::move(take)), m_readWhileHovering(readWhileHovering) {
        setAcceptDrops(true);
    }

protected:
    void showEvent(QShowEvent*) override {
        // Once the window manager has placed it.
        QTimer::singleShot(400, this, [this] {
            const QPoint centre = mapToGlobal(rect().center()) * devicePixelRatio();
            say(QStringLiteral("ready %1 %2").arg(centre.x()).arg(centre.y()));
        });
    }
    void dragEnterEvent(QDragEnterEvent* event) override {
        say(QStringLiteral("enter %1 %2")
                .arg(actionName(event->proposedAction()), event->mimeData()->formats().join(u' ')));
        event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (m_readWhileHovering && !m_hovered) {
            const QString type = QStringLiteral("text/uri-list");
            m_hovered = summary(type, event->mimeData()->data(type));
            say(QStringLiteral("read %1 %2").arg(type, *m_hovered));
        }
        event->acceptProposedAction();
    }
    void dragLeaveEvent(QDragLeaveEvent*) override {
        m_hovered.reset();
        say(QStringLiteral("leave"));
    }
    void dropEvent(QDropEvent* event) override {
        if (m_readWhileHovering) {
            event->acceptProposedAction();
            say(QStringLiteral("drop %1 text/uri-list %2")
                    .arg(actionName(event->dropAction()), m_hovered.value_or(QString())));
            m_hovered.reset();
            return;
        }
        const QMimeData* data = event->mimeData();
        QString type = m_take;
        if (type.isEmpty()) {
            static const QStringList understood{
                QStringLiteral("text/uri-list"), QStringLiteral("text/plain;charset=utf-8"),
                QStringLiteral("text/plain"), QStringLiteral("image/png"),
                QStringLiteral("image/jpeg")};
            for (const QString& offered : data->formats()) {
                if (understood.contains(offered)) {
                    type = offered;
                    break;
                }
            }
        }
        const QByteArray bytes = data->data(type);
        event->acceptProposedAction();
        say(QStringLiteral("drop %1 %2 %3")
                .arg(actionName(event->dropAction()), type, summary(type, bytes)));
    }

private:
    QString m_take;
    bool m_readWhileHovering;
    std::optional<QString> m_hovered;
};

} // namespace

int main(int argc, char** argv) {
    QString windowClass = QStringLiteral("target");
    QString take;
    bool readWhileHovering = false;
    QRect geometry(100, 100, 300, 200);
    for (int i = 1; i < argc; ++i) {
        const QString option = QString::fromLocal8Bit(argv[i]);
        if (option == QLatin1String("--read-while-hovering")) {
            readWhileHovering = true;
            continue;
        }
        if (i + 1 >= argc)
            break;
        const QString value = QString::fromLocal8Bit(argv[++i]);
        if (option == QLatin1String("--class"))
            windowClass = value;
        else if (option == QLatin1String("--take"))
            take = value;
        else if (option == QLatin1String("--geometry")) {
            const QStringList parts = value.split(u',');
            geometry = QRect(parts.value(0).toInt(), parts.value(1).toInt(), parts.value(2).toInt(),
                             parts.value(3).toInt());
        }
    }
    // WM_CLASS is the resource name and the application name: both are the class.
    qputenv("RESOURCE_NAME", windowClass.toLocal8Bit());
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(windowClass);
    Target window(take, readWhileHovering);
    window.setWindowTitle(windowClass);
    window.setGeometry(geometry);
    window.show();
    return app.exec();
}
