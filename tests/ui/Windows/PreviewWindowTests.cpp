#include "PreviewWindow.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <memory>

namespace tarvo::test {
namespace {

class PreviewWindowTest : public ::testing::Test {
protected:
    bool waitForPicture() {
        QDeadlineTimer deadline(20000);
        while (m_preview.isLoading() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(2);
        }
        return !m_preview.isLoading();
    }
    void key(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&m_preview, &press);
    }

    TempDir m_dir;
    PreviewWindow m_preview;
};

TEST_F(PreviewWindowTest, ShowsPicturesTextsAndASummaryAndBrowsesWithTheArrows) {
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString photo = m_dir.file("photo.png");
    ASSERT_TRUE(image.save(photo));
    const QString notes = m_dir.write("notes.txt", "first line\nsecond line");
    const QString broken = m_dir.write("broken.txt", QByteArray("\xff\xfe\xfa not text", 13));
    const QString data = m_dir.write("data.bin", QByteArray(100, '\0'));

    m_preview.preview({photo, notes, broken, data});
    EXPECT_TRUE(m_preview.isVisible());
    ASSERT_TRUE(waitForPicture());
    EXPECT_EQ(m_preview.kind(), PreviewWindow::Kind::picture);
    EXPECT_TRUE(m_preview.showsPicture());
    EXPECT_EQ(m_preview.windowTitle(), QStringLiteral("photo.png (1/4)"));

    key(Qt::Key_Right);
    EXPECT_EQ(m_preview.kind(), PreviewWindow::Kind::text);
    EXPECT_EQ(m_preview.shownText(), QStringLiteral("first line\nsecond line"));
    key(Qt::Key_Right);
    EXPECT_EQ(m_preview.kind(), PreviewWindow::Kind::summary) << "not UTF-8: no text";
    EXPECT_TRUE(m_preview.shownText().startsWith(QStringLiteral("broken.txt\n")));
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    EXPECT_EQ(m_preview.index(), 3u);
    EXPECT_EQ(m_preview.kind(), PreviewWindow::Kind::summary);
    key(Qt::Key_Left);
    EXPECT_EQ(m_preview.index(), 2u);
    key(Qt::Key_Space);
    EXPECT_FALSE(m_preview.isVisible());
}

TEST_F(PreviewWindowTest, APdfShowsItsFirstPage) {
    const QString pdf = m_dir.file("two pages.pdf");
    {
        QPdfWriter writer(pdf);
        QPainter painter(&writer);
        painter.drawText(QPointF(100, 100), QStringLiteral("page one"));
        writer.newPage();
        painter.drawText(QPointF(100, 100), QStringLiteral("page two"));
    }
    m_preview.preview({pdf});
    ASSERT_TRUE(waitForPicture());
    ASSERT_TRUE(m_preview.showsPicture());
    key(Qt::Key_Escape);
    EXPECT_FALSE(m_preview.isVisible());
}

TEST_F(PreviewWindowTest, AnAnswerForAFileNoLongerShownIsDropped) {
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString photo = m_dir.file("red.png");
    ASSERT_TRUE(image.save(photo));
    const QString notes = m_dir.write("notes.txt", "words");
    m_preview.preview({photo, notes});
    key(Qt::Key_Right);
    EXPECT_EQ(m_preview.kind(), PreviewWindow::Kind::text);
    QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(m_preview.kind(), PreviewWindow::Kind::text);
}

TEST(PreviewWindowLifetime, AWindowClosedWhileItsPicturesDecodeHearsNothingAfterwards) {
    TempDir dir;
    QImage image(3000, 3000, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    const QString photo = dir.file("large.png");
    ASSERT_TRUE(image.save(photo));
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            // What Qt says of a call posted to an object that is gone.
            if (type != QtDebugMsg && type != QtInfoMsg &&
                (text.contains(QLatin1String("invokeMethod")) ||
                 text.contains(QLatin1String("Dead object"))))
                warnings.append(text);
        });
    for (int i = 0; i < 8; ++i) {
        auto preview = std::make_unique<PreviewWindow>();
        preview->preview({photo});
        ASSERT_TRUE(preview->isLoading());
        // Gone while the worker decodes, or just as it finishes.
        QThread::msleep(static_cast<unsigned long>(i * 15));
        preview.reset();
    }
    QThreadPool::globalInstance()->waitForDone(20000);
    QDeadlineTimer deadline(500);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

} // namespace
} // namespace tarvo::test
