#include "DragOutFixture.h"

#include "TarvoConvert/TextConverter.h"
#include "TarvoCore/DiskIO.h"
#include "TarvoDrag/DragData.h"
#include "TarvoDrag/PasteboardOrder.h"

#include "support/PasteboardTypes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace tarvo;
using namespace tarvo::test;

namespace {

using namespace tarvo::test::types;

bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 20000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

class DragDataTest : public DragOutFixture {
protected:
    void recorded(const QFuture<void>& future) {
        ASSERT_TRUE(waitUntil([&] { return future.isFinished(); }));
    }
    void useRules(std::vector<Rule> list) {
        rules.setRules(std::move(list));
        rules.rulesChanged();
    }
    QString fileURLOf(const QString& path) {
        return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    }
    std::optional<QString> text(std::size_t index, const QString& type,
                                DataRequestPhase phase = DataRequestPhase::drop) {
        const std::optional<QByteArray> bytes = read(index, type, phase);
        if (!bytes)
            return std::nullopt;
        return QString::fromUtf8(*bytes);
    }
    std::shared_ptr<FilePromiseProvider> promiseOf(const Item& item) {
        return source->promiseProviders().at(item.id);
    }
    std::optional<QString> writePromise(const QString& path) {
        return session().writePromise(0, path);
    }
};

// Conversions that wait until the test lets them go, on the engine's threads.
class HeldConversions {
public:
    ConversionResult perform(const ConversionRequest& request) {
        {
            std::unique_lock lock(m_mutex);
            ++m_started;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
        }
        return ConversionEngine::perform(request);
    }
    bool waitUntilStarted() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_started > 0; });
    }
    void release() {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_started = 0;
    bool m_released = false;
};

class HeldDataTest : public DragOutFixture {
protected:
    HeldDataTest()
        : DragOutFixture([this](const ConversionRequest& r) { return held.perform(r); }) {}
    ~HeldDataTest() override { held.release(); }
    HeldConversions held;
};

// A drag that ends while a promised file converts: the end is told only once
// the file is in place and the target has its answer, so the source and its
// session are still there to give it.
TEST_F(HeldDataTest, TheEndWaitsForAPromiseStillBeingWritten) {
    const Item photo = pngItem();
    drag({photo});
    moveTo(overBrowser); // a JPEG conversion
    QDir().mkpath(dir.file("Desktop"));
    const QString place = dir.file("Desktop/photo.jpg");
    std::optional<std::optional<QString>> answer;
    session().writePromise(0, place, [&](const std::optional<QString>& error) { answer = error; });
    ASSERT_TRUE(held.waitUntilStarted());
    delegate.onEnd = [this] { source.reset(); }; // as the shell does
    session().end(overBrowser, DragOperation::copy);
    EXPECT_FALSE(delegate.endedWith) << "not before the promise is settled";
    ASSERT_TRUE(source);

    held.release();
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, std::nullopt);
    EXPECT_TRUE(QFile(place).open(QIODevice::ReadOnly));
    EXPECT_EQ(filesIn(dir.file("Desktop")), QStringList{"photo.jpg"});
    EXPECT_EQ(delegate.endedWith, DragOperation::copy);
    EXPECT_FALSE(source) << "dropped on hearing the end";
    EXPECT_EQ(delegate.folders, std::vector<QString>{dir.file("Desktop")});
}

// A source dropped anyway (the program quits) while its promised file
// converts: the conversion's temporary file does not stay in the target's
// folder.
TEST_F(HeldDataTest, AConversionWhoseDragIsGoneLeavesNothingBehind) {
    const Item photo = pngItem();
    drag({photo});
    moveTo(overBrowser);
    QDir().mkpath(dir.file("Desktop"));
    std::optional<std::optional<QString>> answer;
    session().writePromise(0, dir.file("Desktop/photo.jpg"),
                           [&](const std::optional<QString>& error) { answer = error; });
    ASSERT_TRUE(held.waitUntilStarted());
    source.reset();
    held.release();
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(answer->has_value());
    EXPECT_EQ(filesIn(dir.file("Desktop")), QStringList());
}

// Holds the copy of one file, on whichever thread opens it, until released;
// notes whether that thread was the main one.
class HeldCopy {
public:
    explicit HeldCopy(QString source) : m_source(std::move(source)) {
        DiskIO::setObserver([this](DiskIO::Call call, const QString& path, const QString&) {
            if (call != DiskIO::Call::open || path != m_source)
                return 0;
            std::unique_lock lock(m_mutex);
            m_onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            m_started = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
            return 0;
        });
    }
    ~HeldCopy() {
        release();
        DiskIO::setObserver({});
    }
    bool started() {
        const std::lock_guard lock(m_mutex);
        return m_started;
    }
    bool onMainThread() {
        const std::lock_guard lock(m_mutex);
        return m_onMainThread;
    }
    void release() {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    QString m_source;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false;
    bool m_onMainThread = false;
    bool m_released = false;
};

// The unchanged item dropped into a folder: its copy runs on a worker while
// the event loop goes on, and the file is in place, recorded and reported in
// the same order as ever once the copy is done.
TEST_F(DragDataTest, APromisedCopyLeavesTheMainThreadFree) {
    const Item photo = pngItem();
    drag({photo});
    input.setModifierFlags(ModifierFlag::option);
    moveTo(overBrowser);
    QDir().mkpath(dir.file("Desktop"));
    const QString place = dir.file("Desktop/photo.png");
    HeldCopy copy(stored(photo));

    std::optional<std::optional<QString>> answer;
    session().writePromise(0, place, [&](const std::optional<QString>& error) { answer = error; });
    ASSERT_TRUE(waitUntil([&] { return copy.started(); }));
    EXPECT_FALSE(copy.onMainThread());
    // The event loop runs while the copy is held.
    bool looped = false;
    QTimer::singleShot(0, [&] { looped = true; });
    ASSERT_TRUE(waitUntil([&] { return looped; }));
    EXPECT_FALSE(answer.has_value());
    EXPECT_TRUE(delegate.folders.empty());
    EXPECT_FALSE(QFileInfo::exists(place));

    copy.release();
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, std::nullopt);
    EXPECT_EQ(dir.read("Desktop/photo.png"), storedBytes(photo));
    EXPECT_EQ(filesIn(dir.file("Desktop")), QStringList{"photo.png"});
    EXPECT_EQ(delegate.folders, std::vector<QString>{dir.file("Desktop")});
    EXPECT_TRUE(waitUntil([&] {
        const std::optional<UndoEntry> entry = undoLog.mostRecent(clock.now());
        return entry && entry->writtenURLs == QStringList{place};
    }));
}

// The source dropped anyway (the program quits) while its promised file is
// copied: the copy is not put in place and nothing stays in the folder.
TEST_F(DragDataTest, APromisedCopyWhoseDragIsGoneLeavesNothingBehind) {
    const Item photo = pngItem();
    drag({photo});
    input.setModifierFlags(ModifierFlag::option);
    moveTo(overBrowser);
    QDir().mkpath(dir.file("Desktop"));
    HeldCopy copy(stored(photo));
    std::optional<std::optional<QString>> answer;
    session().writePromise(0, dir.file("Desktop/photo.png"),
                           [&](const std::optional<QString>& error) { answer = error; });
    ASSERT_TRUE(waitUntil([&] { return copy.started(); }));
    source.reset();
    copy.release();
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(answer->has_value());
    EXPECT_EQ(filesIn(dir.file("Desktop")), QStringList());
    EXPECT_FALSE(undoLog.mostRecent(clock.now()));
}

// A destination reading an image while the item converts: the request returns
// to the event loop at once, the drag goes on, and the answer comes when the
// conversion ends.
TEST_F(HeldDataTest, DataRequestIsAnsweredWhenItsConversionEndsNotBefore) {
    const Item photo = pngItem();
    drag({photo});
    moveTo(overBrowser); // the browser's rule: a JPEG

    std::optional<std::optional<PasteboardData>> answer;
    session().requestData(0, jpeg, DataRequestPhase::hover,
                          [&](std::optional<PasteboardData> data) { answer = std::move(data); });
    EXPECT_FALSE(answer.has_value());
    ASSERT_TRUE(held.waitUntilStarted());

    // The drag goes on meanwhile; a second read of the same type waits too.
    std::optional<std::optional<PasteboardData>> second;
    moveTo(overBrowser + QPointF(30, 0));
    session().requestData(0, jpeg, DataRequestPhase::drop,
                          [&](std::optional<PasteboardData> data) { second = std::move(data); });
    QCoreApplication::processEvents();
    EXPECT_FALSE(answer.has_value());
    EXPECT_FALSE(second.has_value());

    held.release();
    ASSERT_TRUE(waitUntil([&] { return answer.has_value() && second.has_value(); }));
    ASSERT_TRUE(answer->has_value());
    const std::optional<QByteArray> bytes = MemoryDragSession::bytes(*answer);
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(bytes->startsWith("\xFF\xD8\xFF")) << "a JPEG";
    EXPECT_EQ(*second, *answer);
    EXPECT_EQ(preferences.conversionCount(), 0); // data reads are not counted
}

TEST_F(DragDataTest, WhatEachTypeIsHandedForEachKindOfResult) {
    const Item note = textItem("hello");
    const Item photo = pngItem();
    const Item link = urlItem(QUrl("https://example.org/a b"));
    drag({note, photo, link});
    moveTo(overNothing); // the unchanged items

    struct Case {
        const char* name;
        std::size_t index;
        QString type;
        std::optional<QString> expected;
    };
    const std::vector<Case> cases{
        {"text as text", 0, string, "hello"},
        {"text as a file", 0, fileURL, std::nullopt},
        {"text as PNG", 0, png, std::nullopt},
        {"text as JPEG", 0, jpeg, std::nullopt},
        {"text as TIFF", 0, tiff, std::nullopt},
        {"text as a link", 0, url, std::nullopt},
        {"text as rich text", 0, rtf, std::nullopt},
        {"file as text", 1, string, TextConverter::quotedPath(stored(photo))},
        {"file as a file", 1, fileURL, fileURLOf(stored(photo))},
        {"PNG file as PNG", 1, png, QString()},
        {"PNG file as JPEG", 1, jpeg, std::nullopt},
        {"file as a link", 1, url, std::nullopt},
        {"link as a link", 2, url, "https://example.org/a%20b"},
        {"link as text", 2, string, "https://example.org/a%20b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QByteArray> bytes = read(c.index, c.type);
        if (!c.expected)
            EXPECT_EQ(bytes, std::nullopt);
        else if (c.type == png)
            EXPECT_EQ(bytes, storedBytes(photo));
        else
            EXPECT_EQ(bytes, c.expected->toUtf8());
    }
}

TEST_F(DragDataTest, AnImageTypeGetsOnlyBytesOfThatType) {
    const Item photo = pngItem();
    drag({photo});
    moveTo(overBrowser); // converted to JPEG

    EXPECT_EQ(read(0, png), std::nullopt);
    const std::optional<QByteArray> converted = read(0, jpeg);
    ASSERT_TRUE(converted);
    EXPECT_TRUE(converted->startsWith("\xFF\xD8\xFF"));
}

TEST_F(DragDataTest, FilesAreHandedOverByReferenceNotReadWhole) {
    const Item photo = pngItem();
    drag({photo});
    moveTo(overNothing);
    const std::optional<PasteboardData> data = session().requestData(0, png);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->file, stored(photo));
    EXPECT_TRUE(data->bytes.isEmpty());
}

TEST_F(DragDataTest, AFailedConversionHandsOverTheUnchangedItemAndNeverAMadeUpFile) {
    useRules(
        {makeRule(SourceType::text, Destination::category(AppCategory::browser), Delivery::pdf()),
         makeRule(SourceType::anyFile, Destination::category(AppCategory::browser),
                  browserJPEG())});
    const Item note = textItem("no file behind me");
    const Item notes = fileItem("notes.txt", "not an image");
    drag({note, notes});
    moveTo(overBrowser);
    ASSERT_EQ(source->currentDelivery(), Delivery::pdf());

    EXPECT_EQ(text(0, string), "no file behind me");
    for (const QString& type : {fileURL, png}) {
        SCOPED_TRACE(type.toStdString());
        EXPECT_EQ(read(0, type), std::nullopt);
    }
    EXPECT_EQ(text(1, string), TextConverter::quotedPath(stored(notes)));
}

// What each kind of item offers under each delivery: only types it answers
// with data, in the delivery's order (the promise left to its provider).
TEST_F(DragDataTest, OfferedTypesPerItemKindAndDelivery) {
    const Item note = textItem("hello");
    const Item link = addUrlItem(store, QUrl("https://example.org/"), clock.now());
    Item titled = link;
    titled.payload = ItemPayload::url(QUrl("https://example.org/"), QStringLiteral("Example"));
    const Item photo = pngItem();
    const Item notes = fileItem("notes.txt", "plain words");
    const Item archive = fileItem("bundle.zip", QByteArray("PK\x03\x04", 4) + "rest");
    const QString urlName(TypeIdentifier::urlName);
    const Delivery jpegImage = browserJPEG();
    const Delivery pngImage = Delivery::image({ImageFormat::png, std::nullopt, 1.0, false});

    struct Case {
        const char* name;
        Item item;
        Delivery delivery;
        QStringList expected;
    };
    const std::vector<Case> cases{
        {"text unchanged", note, Delivery::original(), {string}},
        {"text as path", note, Delivery::path(), {string}},
        {"text as plain text", note, Delivery::plainText(), {string}},
        {"text as JPEG", note, jpegImage, {string}},
        {"text as PDF", note, Delivery::pdf(), {string}},
        {"link unchanged", link, Delivery::original(), {string, url}},
        {"titled link unchanged", titled, Delivery::original(), {string, url, urlName}},
        {"link as plain text", titled, Delivery::plainText(), {string, url, urlName}},
        {"link as web location file", link, Delivery::webloc(), {fileURL, string, url}},
        {"PNG unchanged", photo, Delivery::original(), {fileURL, png, string}},
        {"PNG as path", photo, Delivery::path(), {string}},
        {"PNG as plain text: the file", photo, Delivery::plainText(), {string, fileURL, png}},
        {"PNG as JPEG", photo, jpegImage, {fileURL, jpeg, string}},
        {"PNG as PNG", photo, pngImage, {fileURL, png, string}},
        {"PNG as PDF", photo, Delivery::pdf(), {fileURL, string}},
        {"PNG as web location: the file", photo, Delivery::webloc(), {fileURL, png, string}},
        {"text file unchanged", notes, Delivery::original(), {fileURL, string}},
        {"text file as path", notes, Delivery::path(), {string}},
        {"text file as plain text", notes, Delivery::plainText(), {string}},
        {"text file as JPEG: no picture, the file", notes, jpegImage, {fileURL, string}},
        {"archive as plain text: the file", archive, Delivery::plainText(), {string, fileURL}},
        {"archive as PDF: the file", archive, Delivery::pdf(), {fileURL, string}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DragData::offeredTypes(PasteboardOrder::types(c.delivery, std::nullopt), c.item,
                                         c.delivery, store.root()),
                  c.expected);
        // The promise keeps its place; it is always offered.
        EXPECT_TRUE(DragData::offeredTypes(PasteboardOrder::types(c.delivery, promise), c.item,
                                           c.delivery, store.root())
                        .contains(promise));
    }
}

// Whatever the item and the delivery, every type a destination is offered
// gives it data.
TEST_F(DragDataTest, EveryOfferedTypeAnswersWithData) {
    const std::vector<Delivery> deliveries{Delivery::original(),  Delivery::path(),
                                           Delivery::plainText(), Delivery::webloc(),
                                           browserJPEG(),         Delivery::pdf()};
    int round = 0;
    for (const Delivery& delivery : deliveries) {
        SCOPED_TRACE(delivery.badgeText().toStdString());
        const QString n = QString::number(++round);
        std::vector<Rule> list;
        for (const SourceType type :
             {SourceType::text, SourceType::url, SourceType::images, SourceType::anyFile})
            list.push_back(makeRule(type, Destination::category(AppCategory::browser), delivery));
        useRules(list);
        for (const Item& item :
             {textItem("some words " + n), urlItem(QUrl("https://example.org/" + n)), pngItem(),
              fileItem("notes.txt", "plain words " + n.toUtf8())}) {
            SCOPED_TRACE(item.displayName.toStdString());
            drag({item});
            moveTo(overBrowser, "browser");
            ASSERT_EQ(source->currentDelivery(), delivery);
            const QStringList offered = source->pasteboardItems()[0]->types();
            ASSERT_FALSE(offered.isEmpty());
            for (const QString& type : offered) {
                SCOPED_TRACE(type.toStdString());
                const std::optional<QByteArray> bytes = read(0, type, DataRequestPhase::hover);
                ASSERT_TRUE(bytes);
                EXPECT_FALSE(bytes->isEmpty());
            }
            session().end(overBrowser, DragOperation::none);
        }
    }
}

TEST_F(DragDataTest, WhatARefusedRewriteLeftOnThePasteboardIsStillServed) {
    const Item photo = pngItem();
    drag({photo});
    // The pasteboard takes the write but offers its types in another order.
    session().draggingPasteboard().setTypeFilter(
        [](const QStringList& types) { return QStringList(types.rbegin(), types.rend()); });
    moveTo(overTerminal);
    ASSERT_EQ(source->strategy(), PasteboardOrderStrategy::fixed);
    const auto onPasteboard = session().draggingPasteboard().items();
    ASSERT_EQ(onPasteboard.size(), 1u);
    EXPECT_EQ(onPasteboard[0], source->pasteboardItems()[0]);
    EXPECT_EQ(text(0, string), TextConverter::quotedPath(stored(photo)));

    // A refused write leaves nothing to serve, and nothing old is served.
    drag({pngItem()});
    const std::shared_ptr<PasteboardItem> before = source->pasteboardItems()[0];
    session().draggingPasteboard().setRefusesWrites(true);
    moveTo(overTerminal);
    EXPECT_TRUE(session().draggingPasteboard().items().empty());
    EXPECT_EQ(source->pasteboardItems()[0], before);
}

TEST_F(DragDataTest, OneConversionServesTheWholeDrag) {
    drag({pngItem()});
    moveTo(overBrowser);
    const std::optional<QByteArray> first = read(0, jpeg, DataRequestPhase::hover);
    const std::optional<QString> path = text(0, string);
    const std::optional<QString> file = text(0, fileURL);
    EXPECT_EQ(read(0, jpeg), first);

    const QStringList written = filesIn(source->workDirectory());
    ASSERT_EQ(written.size(), 1);
    const QString output = QDir(source->workDirectory()).filePath(written[0]);
    EXPECT_EQ(path, TextConverter::quotedPath(output));
    EXPECT_EQ(file, fileURLOf(output));
}

TEST_F(DragDataTest, AFileTakenByAddressIsCountedOnceWhenTheDropIsTakenAndOfferedToNoUndo) {
    // An earlier delivery that undo could reach.
    const Item notes = textItem(QStringLiteral("notes"));
    const QString saved = dir.write("Desktop/notes.txt", "notes");
    recorded(coordinator.recordDelivery(notes, ResolvedDestination::unknown(),
                                        {ConversionResult::file(saved)}));
    drag({pngItem()});
    moveTo(overBrowser);

    // Read only while hovering, as some browsers do; then dropped and taken.
    const std::optional<QString> hovered = text(0, fileURL, DataRequestPhase::hover);
    ASSERT_TRUE(hovered);
    EXPECT_EQ(text(0, fileURL, DataRequestPhase::hover), hovered);
    EXPECT_EQ(preferences.dropCount(), 1);

    session().end(overBrowser, DragOperation::copy);
    EXPECT_EQ(preferences.dropCount(), 2);
    EXPECT_EQ(preferences.conversionCount(), 1);

    // The browser copied our work folder's file where undo cannot follow:
    // undo claims nothing, and leaves the earlier delivery alone too.
    const QString output = QUrl(*hovered).toLocalFile();
    const QFuture<UndoLog::Outcome> undone = coordinator.undoLastDelivery(clock.now());
    ASSERT_TRUE(waitUntil([&] { return undone.isFinished(); }));
    EXPECT_EQ(undone.result(), UndoLog::Outcome::expired());
    EXPECT_TRUE(QFile::exists(output));
    EXPECT_TRUE(QFile::exists(saved));
}

TEST_F(DragDataTest, AFileReadButNotTakenIsNeverRecorded) {
    struct Case {
        const char* name;
        bool readByAnother;
        DragOperation ending;
    };
    const std::vector<Case> cases{
        {"the drop was refused", false, DragOperation::none},
        {"another destination read it, this one took nothing from us", true, DragOperation::copy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drag({pngItem()});
        moveTo(overBrowser);
        ASSERT_TRUE(text(0, fileURL, DataRequestPhase::hover));
        if (c.readByAnother)
            moveTo(overTerminal);
        session().end(overTerminal, c.ending);
        EXPECT_FALSE(undoLog.mostRecent(clock.now()));
        EXPECT_EQ(preferences.dropCount(), 0);
    }
}

TEST_F(DragDataTest, AFileTakenByAddressFollowsTheRenameTemplate) {
    useRules({makeRule(SourceType::images, Destination::category(AppCategory::browser),
                       browserJPEG(), QStringLiteral("{name}-web"))});
    drag({pngItem()});
    moveTo(overBrowser);
    const std::optional<QString> file = text(0, fileURL);
    ASSERT_TRUE(file);
    EXPECT_EQ(QFileInfo(QUrl(*file).toLocalFile()).fileName(), "photo-web.jpg");
}

TEST_F(DragDataTest, APromiseWithoutItsItemIsNamedFileAndFails) {
    drag({pngItem()});
    FilePromiseProvider stray(QStringLiteral("public.png"), source.get());
    EXPECT_EQ(stray.fileName(), "File");
    std::optional<QString> error;
    bool called = false;
    stray.writePromise(dir.file("out/File"), [&](const std::optional<QString>& result) {
        called = true;
        error = result;
    });
    EXPECT_TRUE(called);
    EXPECT_EQ(error, "noPayload");
    EXPECT_TRUE(delegate.folders.empty());
}

TEST_F(DragDataTest, APromisedFileIsPutInPlaceRecordedAndReported) {
    struct Case {
        const char* name;
        QPointF where;
        quint64 flags;
        std::function<void(const QByteArray&)> check;
        bool converted;
    };
    const Item photo = pngItem();
    const QByteArray original = storedBytes(photo);
    const std::vector<Case> cases{
        {"the unchanged item", overBrowser, ModifierFlag::option,
         [&](const QByteArray& bytes) { EXPECT_EQ(bytes, original); }, false},
        {"a path as text", overTerminal, 0,
         [&](const QByteArray& bytes) {
             EXPECT_EQ(bytes, TextConverter::quotedPath(stored(photo)).toUtf8());
         },
         false},
        {"a converted image", overBrowser, 0,
         [&](const QByteArray& bytes) { EXPECT_TRUE(bytes.startsWith("\xFF\xD8\xFF")); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        delegate.folders.clear();
        const qint64 conversions = preferences.conversionCount();
        drag({photo});
        input.setModifierFlags(c.flags);
        moveTo(c.where);
        QDir().mkpath(dir.file(QStringLiteral("Desktop/%1").arg(c.name)));
        const QString place = dir.file(QStringLiteral("Desktop/%1/photo").arg(c.name));

        EXPECT_EQ(writePromise(place), std::nullopt);
        QFile file(place);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        c.check(file.readAll());
        EXPECT_EQ(filesIn(QFileInfo(place).path()), QStringList{"photo"});

        // Recorded once the file is fingerprinted, off the main thread.
        EXPECT_TRUE(waitUntil([&] {
            const std::optional<UndoEntry> entry = undoLog.mostRecent(clock.now());
            return entry && entry->writtenURLs == QStringList{place};
        }));
        EXPECT_EQ(delegate.folders, std::vector<QString>{QFileInfo(place).path()});
        EXPECT_EQ(preferences.conversionCount(), conversions + (c.converted ? 1 : 0));
    }
}

TEST_F(DragDataTest, AConversionIsCountedOnceWhateverTheOrderOfReads) {
    // The browser's rule converts to JPEG without renaming: the bytes and the
    // file read by address are one conversion.
    const std::vector<std::vector<QString>> orders{{jpeg, fileURL, jpeg}, {fileURL, jpeg, fileURL}};
    for (const std::vector<QString>& order : orders) {
        SCOPED_TRACE(order.front().toStdString() + " first");
        const qint64 conversions = preferences.conversionCount();
        drag({pngItem()});
        moveTo(overBrowser);
        for (const QString& type : order)
            EXPECT_TRUE(read(0, type));
        session().end(overBrowser, DragOperation::copy);
        EXPECT_EQ(preferences.conversionCount(), conversions + 1);
    }
}

TEST_F(DragDataTest, TheApplicationARenameTemplateNamesMakesItsOwnFile) {
    dir.write("applications/firefox.desktop", "[Desktop Entry]\nType=Application\nName=Firefox\n");
    dir.write("applications/chromium.desktop",
              "[Desktop Entry]\nType=Application\nName=Chromium\n");
    ASSERT_TRUE(applications.refreshAndWait());
    constexpr qint32 chromiumPID = 300;
    windows.setWindows({
        WindowInfo{browserPID, Rect{0, 0, 500, 500}, 0, 1},
        WindowInfo{terminalPID, Rect{500, 0, 500, 500}, 0, 2},
        WindowInfo{chromiumPID, Rect{0, 500, 500, 500}, 0, 3},
    });
    workspace.addProcess(chromiumPID, QStringLiteral("chromium"));
    useRules({makeRule(SourceType::images, Destination::category(AppCategory::browser),
                       browserJPEG(), QStringLiteral("{name} for {app}"))});
    drag({pngItem()});
    moveTo(overBrowser);
    const std::optional<QString> forFirefox = text(0, fileURL, DataRequestPhase::hover);
    ASSERT_TRUE(forFirefox);
    EXPECT_EQ(QFileInfo(QUrl(*forFirefox).toLocalFile()).fileName(), "photo for Firefox.jpg");
    moveTo(overNothing); // the other browser, under the same rule
    ASSERT_EQ(source->destination().bundleID, QStringLiteral("chromium"));
    const std::optional<QString> forChromium = text(0, fileURL, DataRequestPhase::hover);
    ASSERT_TRUE(forChromium);
    EXPECT_EQ(QFileInfo(QUrl(*forChromium).toLocalFile()).fileName(), "photo for Chromium.jpg");
}

TEST_F(DragDataTest, APromiseNeverReplacesWhatStandsAtThePlace) {
    const Item photo = pngItem();
    struct Case {
        const char* name;
        quint64 flags;
        QPointF where;
    };
    // The unchanged item is copied, a conversion renamed, a path written as text.
    const std::vector<Case> cases{{"the unchanged item", ModifierFlag::option, overBrowser},
                                  {"a converted image", 0, overBrowser},
                                  {"a path as text", 0, overTerminal}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drag({photo});
        input.setModifierFlags(c.flags);
        moveTo(c.where);
        const qint64 drops = preferences.dropCount();
        const QString place = dir.write(QStringLiteral("Desktop/%1/photo").arg(c.name), "mine");

        const std::optional<QString> error = writePromise(place);
        ASSERT_TRUE(error);
        EXPECT_EQ(dir.read(QStringLiteral("Desktop/%1/photo").arg(c.name)), "mine");
        EXPECT_EQ(filesIn(QFileInfo(place).path()), QStringList{"photo"}) << "no temporary left";
        EXPECT_EQ(preferences.dropCount(), drops);
        EXPECT_TRUE(delegate.folders.empty());
    }
}

TEST_F(DragDataTest, AFailedPromiseIsReportedAndLeavesThePlaceAsItWas) {
    const Item photo = pngItem();
    drag({photo});
    moveTo(overBrowser);
    // A folder stands at the promised place: the file cannot replace it.
    const QString place = dir.file("Desktop/photo.jpg");
    dir.write("Desktop/photo.jpg/keep.txt", "mine");
    const qint64 drops = preferences.dropCount();

    const std::optional<QString> error = writePromise(place);
    ASSERT_TRUE(error);
    EXPECT_EQ(dir.read("Desktop/photo.jpg/keep.txt"), "mine");
    EXPECT_EQ(filesIn(dir.file("Desktop")), QStringList());
    EXPECT_EQ(preferences.dropCount(), drops);
    EXPECT_FALSE(undoLog.mostRecent(clock.now()));
    EXPECT_TRUE(delegate.folders.empty());

    EXPECT_TRUE(writePromise(dir.file("Nowhere/photo.jpg")).has_value());
}

TEST_F(DragDataTest, OptionIgnoresTheRenameTemplateOfThePromisedName) {
    useRules({makeRule(SourceType::images, Destination::category(AppCategory::browser),
                       browserJPEG(), QStringLiteral("{name}-web"))});
    drag({pngItem()});
    moveTo(overBrowser);
    EXPECT_EQ(session().promisedFileName(0), "photo-web.jpg");
    input.setModifierFlags(ModifierFlag::option);
    moveTo(overBrowser);
    EXPECT_EQ(session().promisedFileName(0), "photo.png");
}

} // namespace

namespace {

// The batch question as a test answers it: recorded, and held until the
// test lets it go.
struct HeldQuestion {
    int asked = 0;
    int itemCount = 0;
    std::function<void(bool)> answer;
    bool needed = true;

    DragSource::BatchQuestion hook() {
        return [this](int count, const Delivery&, const std::optional<QString>&,
                      std::function<void(bool)> reply) {
            ++asked;
            itemCount = count;
            if (!needed)
                return false;
            answer = std::move(reply);
            return true;
        };
    }
};

} // namespace

TEST_F(DragDataTest, SeveralItemsToConvertWaitForTheBatchAnswerAndGoOutAsChosen) {
    for (const bool convert : {true, false}) {
        SCOPED_TRACE(convert ? "converted" : "originals");
        HeldQuestion question;
        drag({pngItem(), pngItem()});
        source->setBatchQuestion(question.hook());
        moveTo(overBrowser); // the browser's rule: a JPEG at most 2000 pixels wide
        ASSERT_TRUE(source->currentDelivery().is<Delivery::Image>());

        std::vector<std::optional<PasteboardData>> answers(2);
        std::vector<bool> answered(2, false);
        for (std::size_t i = 0; i < 2; ++i)
            session().requestData(i, jpeg, DataRequestPhase::drop,
                                  [&, i](std::optional<PasteboardData> data) {
                                      answers[i] = std::move(data);
                                      answered[i] = true;
                                  });
        QCoreApplication::processEvents();
        // Asked once for the whole batch, and nothing converts meanwhile.
        EXPECT_EQ(question.asked, 1);
        EXPECT_EQ(question.itemCount, 2);
        EXPECT_EQ(answered, (std::vector<bool>{false, false}));

        question.answer(convert);
        ASSERT_TRUE(waitUntil([&] { return answered[0] && answered[1]; }));
        EXPECT_EQ(source->deliversOriginals(), !convert);
        for (std::size_t i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            const std::optional<QByteArray> bytes = MemoryDragSession::bytes(answers[i]);
            if (convert) {
                ASSERT_TRUE(bytes);
                EXPECT_TRUE(bytes->startsWith("\xFF\xD8\xFF")) << "a JPEG";
            } else {
                // Nothing was made for the JPEG the target asked for.
                EXPECT_FALSE(bytes && bytes->startsWith("\xFF\xD8\xFF"));
            }
        }
        // The file itself is then the original's.
        const std::optional<QString> uri = text(0, fileURL);
        ASSERT_TRUE(uri);
        EXPECT_EQ(uri->endsWith(".png"), !convert) << uri->toStdString();
        EXPECT_EQ(question.asked, 1);
        session().end(QPointF(), DragOperation::copy);
        source.reset();
        rules.endDrag();
    }
}

TEST_F(DragDataTest, OneItemOrAQuestionNotNeededGoesOutWithoutWaiting) {
    for (const bool twoItems : {false, true}) {
        SCOPED_TRACE(twoItems ? "not needed" : "one item");
        HeldQuestion question;
        question.needed = false;
        std::vector<Item> items{pngItem()};
        if (twoItems)
            items.push_back(pngItem());
        drag(items);
        source->setBatchQuestion(question.hook());
        moveTo(overBrowser);
        const std::optional<QByteArray> bytes = read(0, jpeg);
        ASSERT_TRUE(bytes);
        EXPECT_TRUE(bytes->startsWith("\xFF\xD8\xFF"));
        EXPECT_EQ(question.asked, twoItems ? 1 : 0);
        session().end(QPointF(), DragOperation::copy);
        source.reset();
        rules.endDrag();
    }
}
