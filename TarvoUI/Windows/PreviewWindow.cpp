#include "PreviewWindow.h"

#include "ThumbnailDecoder.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QStackedLayout>
#include <QStringDecoder>
#include <QThreadPool>
#include <QVBoxLayout>

namespace tarvo {

namespace {

constexpr int pictureSize = 1024;

bool isPictureType(const QMimeType& type) {
    return type.name().startsWith(QLatin1String("image/")) ||
           type.inherits(QStringLiteral("application/pdf"));
}

bool isTextType(const QMimeType& type) {
    return type.inherits(QStringLiteral("text/plain"));
}

} // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("tarvo-preview"));
    resize(720, 540);
    m_stack = new QStackedLayout(this);

    m_picture = new QLabel;
    m_picture->setAlignment(Qt::AlignCenter);
    m_pictureArea = new QScrollArea;
    m_pictureArea->setAlignment(Qt::AlignCenter);
    m_pictureArea->setFrameShape(QFrame::NoFrame);
    m_pictureArea->setFocusPolicy(Qt::NoFocus);
    m_pictureArea->setWidget(m_picture);
    m_stack->addWidget(m_pictureArea);

    m_text = new QPlainTextEdit;
    m_text->setReadOnly(true);
    m_text->setFocusPolicy(Qt::NoFocus);
    m_stack->addWidget(m_text);

    m_summaryPage = new QWidget;
    auto* summary = new QVBoxLayout(m_summaryPage);
    m_summaryIcon = new QLabel;
    m_summaryIcon->setAlignment(Qt::AlignCenter);
    m_summary = new QLabel;
    m_summary->setAlignment(Qt::AlignCenter);
    m_summary->setTextFormat(Qt::PlainText);
    summary->addStretch();
    summary->addWidget(m_summaryIcon);
    summary->addWidget(m_summary);
    summary->addStretch();
    m_stack->addWidget(m_summaryPage);
}

PreviewWindow::~PreviewWindow() {
    *m_alive = false;
}

void PreviewWindow::preview(std::vector<QString> paths) {
    m_paths = std::move(paths);
    if (m_paths.empty()) {
        close();
        return;
    }
    showItem(0);
    if (!isVisible()) {
        // Opens in the middle of the screen the pointer is on.
        if (const QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) {
            QRect frame = geometry();
            frame.moveCenter(screen->availableGeometry().center());
            setGeometry(frame);
        }
    }
    show();
    raise();
    activateWindow();
}

void PreviewWindow::step(int by) {
    if (m_paths.empty())
        return;
    const qsizetype target =
        std::clamp<qsizetype>(qsizetype(m_index) + by, 0, qsizetype(m_paths.size()) - 1);
    if (std::size_t(target) != m_index)
        showItem(std::size_t(target));
}

void PreviewWindow::showItem(std::size_t index) {
    if (index >= m_paths.size())
        return;
    m_index = index;
    ++m_generation;
    m_loading = false;
    const QString path = m_paths[index];
    const QFileInfo info(path);
    setWindowTitle(
        m_paths.size() > 1
            ? QStringLiteral("%1 (%2/%3)").arg(info.fileName()).arg(index + 1).arg(m_paths.size())
            : info.fileName());
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    if (info.isFile() && isPictureType(type)) {
        // The summary shows until the picture is ready, and stays when it
        // cannot be made.
        showSummary(path);
        m_loading = true;
        const quint64 generation = m_generation;
        // The answer goes to the application, which outlives every job, and
        // the window is looked for only on the main thread, where it is
        // destroyed: asked from the worker, it could go between the look
        // and the post.
        const std::weak_ptr<bool> alive = m_alive;
        PreviewWindow* self = this;
        QThreadPool::globalInstance()->start([alive, self, generation, path] {
            const QImage image = ThumbnailDecoder::decode(path, pictureSize);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [alive, self, generation, image] {
                    if (!alive.expired())
                        self->pictureArrived(generation, image);
                },
                Qt::QueuedConnection);
        });
        return;
    }
    if (info.isFile() && isTextType(type)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QStringDecoder decoder(QStringDecoder::Utf8);
            const QString text = decoder.decode(file.read(maxTextBytes));
            if (!decoder.hasError()) {
                m_text->setPlainText(text);
                m_kind = Kind::text;
                m_stack->setCurrentWidget(m_text);
                return;
            }
        }
    }
    showSummary(path);
}

void PreviewWindow::pictureArrived(quint64 generation, const QImage& image) {
    if (generation != m_generation)
        return;
    m_loading = false;
    if (image.isNull())
        return;
    // A picture fits the window; a PDF's pages fit its width and scroll.
    QPixmap pixmap = QPixmap::fromImage(image);
    const QSize room = m_pictureArea->viewport()->size().expandedTo(QSize(64, 64));
    const bool pages = image.height() > image.width() * 3 / 2;
    if (pixmap.width() > room.width() || (!pages && pixmap.height() > room.height())) {
        pixmap = pages ? pixmap.scaledToWidth(room.width(), Qt::SmoothTransformation)
                       : pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    m_picture->setPixmap(pixmap);
    m_picture->resize(pixmap.size());
    m_kind = Kind::picture;
    m_stack->setCurrentWidget(m_pictureArea);
}

void PreviewWindow::showSummary(const QString& path) {
    const QFileInfo info(path);
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    m_summaryIcon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(128, 128));
    const QLocale locale;
    QStringList lines{info.fileName()};
    if (info.isFile())
        lines << locale.formattedDataSize(info.size());
    lines << locale.toString(info.lastModified(), QLocale::LongFormat);
    m_summary->setText(lines.join(u'\n'));
    m_kind = Kind::summary;
    m_stack->setCurrentWidget(m_summaryPage);
}

QString PreviewWindow::shownText() const {
    return m_kind == Kind::text ? m_text->toPlainText() : m_summary->text();
}

bool PreviewWindow::showsPicture() const {
    return m_kind == Kind::picture && !m_picture->pixmap().isNull();
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        step(-1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        step(1);
        break;
    case Qt::Key_Space:
    case Qt::Key_Escape:
        close();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PreviewWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (onClosed)
        onClosed();
}

void PreviewWindow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (onPointerLeft)
        onPointerLeft();
}

} // namespace tarvo
