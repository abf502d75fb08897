#include "TarvoConvert/ConversionEngine.h"
#include "TarvoConvert/ConversionError.h"
#include "TarvoCore/Files.h"
#include "TarvoCore/Fingerprint.h"
#include "TarvoCore/ItemStore.h"
#include "TarvoCore/Preferences.h"
#include "TarvoCore/RuleEngine.h"
#include "TarvoCore/UserDefaults.h"
#include "TarvoDrag/DeliveryCoordinator.h"
#include "TarvoPlatform/ApplicationDirectory.h"
#include "TarvoPlatform/InputState.h"
#include "TarvoPlatform/memory/FakeClock.h"

#include "support/ItemFactory.h"
#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImage>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

using namespace tarvo;
using namespace tarvo::test;

namespace {

using Modifiers = DeliveryCoordinator::Modifiers;

const QString browserID = QStringLiteral("firefox");
const QString editorID = QStringLiteral("org.gnome.TextEditor");
const QString viewerID = QStringLiteral("org.gnome.Evince");

Delivery image(ImageFormat format) {
    ImageOptions options;
    options.format = format;
    return Delivery::image(options);
}

template <class T> T await(QFuture<T> future) {
    if (!future.isFinished()) {
        QFutureWatcher<T> watcher;
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(future);
        if (!future.isFinished())
            loop.exec();
    }
    if constexpr (!std::is_void_v<T>)
        return future.result();
}

// A coordinator over a store, rules, preferences and applications folder in a
// temporary folder, with the real conversion engine unless a test swaps it.
class CoordinatorTest : public ::testing::Test {
protected:
    CoordinatorTest()
        : imageRule(makeRule(SourceType::images, Destination::category(AppCategory::browser),
                             image(ImageFormat::jpeg), QStringLiteral("{name}-web"))),
          textRule(makeRule(SourceType::text, Destination::category(AppCategory::terminalOrEditor),
                            Delivery::path())),
          store(dir.file("Items")), rules({imageRule, textRule}, AppCategoryMap{}),
          defaults(dir.file("settings.ini")), preferences(defaults),
          applications(QStringList{dir.file("applications")}) {
        dir.write("applications/org.gnome.Evince.desktop",
                  "[Desktop Entry]\nType=Application\nName=Document Viewer\n");
        applications.refreshAndWait();
        // The drag's work folder, as the drag makes it before converting.
        QDir().mkpath(dir.file("work/drag"));
        useEngine(std::make_unique<ConversionEngine>(2));
    }

    void useEngine(std::unique_ptr<ConversionEngine> replacement) {
        coordinator.reset();
        engine = std::move(replacement);
        coordinator = std::make_unique<DeliveryCoordinator>(
            store, rules, *engine, undoLog, preferences, dir.file("work"), applications, clock);
    }

    Item fileItem(const QString& name, const QByteArray& bytes, bool isImage = false) {
        return addFileItem(store, name, bytes, isImage, clock.now());
    }

    Item pngItem() {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        const QString source = dir.file("picture.png");
        EXPECT_TRUE(picture.save(source, "PNG"));
        QFile file(source);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return fileItem(QStringLiteral("picture.png"), file.readAll(), true);
    }

    Item textItem(const QString& text) { return addTextItem(store, text, clock.now()); }

    // A file a delivery wrote into the drag's working folder.
    QString written(const QString& name, const QByteArray& bytes) {
        return dir.write("work/drag/" + name, bytes);
    }

    ConversionRequest requestFor(const Item& item, const Delivery& delivery) {
        return coordinator->request(item, delivery, std::nullopt, 0, 1, ResolvedDestination{},
                                    dir.file("work/drag"), std::nullopt);
    }

    TempDir dir;
    Rule imageRule;
    Rule textRule;
    ItemStore store;
    RuleEngine rules;
    UndoLog undoLog;
    UserDefaults defaults;
    Preferences preferences;
    ApplicationDirectory applications;
    FakeClock clock;
    std::unique_ptr<ConversionEngine> engine;
    std::unique_ptr<DeliveryCoordinator> coordinator;
};

TEST_F(CoordinatorTest, DecidesTheDeliveryFromModifiersAndRules) {
    const Item picture = pngItem();
    const Item notes = textItem(QStringLiteral("echo hello"));
    const ResolvedDestination browser{browserID, AppCategory::browser, std::nullopt};
    const ResolvedDestination editor{editorID, AppCategory::terminalOrEditor, std::nullopt};
    const ResolvedDestination editorList{editorID, AppCategory::terminalOrEditor, false};

    struct Case {
        const char* name;
        Item item;
        ResolvedDestination destination;
        Modifiers modifiers;
        DeliveryCoordinator::Decision expected;
    };
    const Case cases[] = {
        {"Alt keeps the item unchanged",
         picture,
         browser,
         Modifiers(true, false, false),
         {Delivery::original(), std::nullopt}},
        {"Alt and Ctrl keep it unchanged",
         picture,
         browser,
         Modifiers(true, false, true),
         {Delivery::original(), std::nullopt}},
        {"an image into a browser",
         picture,
         browser,
         Modifiers::none(),
         {image(ImageFormat::jpeg), imageRule}},
        {"Ctrl changes nothing",
         picture,
         browser,
         Modifiers(false, false, true),
         {image(ImageFormat::jpeg), imageRule}},
        {"a text into an editor", notes, editor, Modifiers::none(), {Delivery::path(), textRule}},
        {"a text onto an editor's file list",
         notes,
         editorList,
         Modifiers::none(),
         {Delivery::original(), textRule}},
        {"no rule for the destination",
         picture,
         ResolvedDestination::unknown(),
         Modifiers::none(),
         {Delivery::original(), std::nullopt}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(coordinator->delivery(c.item, c.destination, c.modifiers), c.expected);
        EXPECT_EQ(coordinator->badgeContent(c.item, c.destination, c.modifiers), c.expected);
    }
}

TEST(DeliveryModifiers, TranslateFlagsAndPickTheDragOperation) {
    using namespace ModifierFlag;
    struct Case {
        const char* name;
        quint64 flags;
        Modifiers expected;
        DragOperation operation;
    };
    const Case cases[] = {
        {"nothing held", 0, Modifiers::none(), DragOperation::copy},
        {"Shift asks for a move", shift, Modifiers(false, false, false, true), DragOperation::move},
        {"Alt and Shift", option | shift, Modifiers(true, false, false, true), DragOperation::copy},
        {"Ctrl", command, Modifiers(false, false, true), DragOperation::copy},
        {"Ctrl and Shift", command | shift, Modifiers(false, false, true, true),
         DragOperation::move},
        {"Alt", option, Modifiers(true, false, false), DragOperation::copy},
        {"control", control, Modifiers(false, true, false), DragOperation::copy},
        {"other bits only", 0x10000 | 0x800000, Modifiers::none(), DragOperation::copy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Modifiers modifiers(c.flags);
        EXPECT_EQ(modifiers, c.expected);
        EXPECT_EQ(DeliveryCoordinator::operation(modifiers), c.operation);
    }
}

TEST_F(CoordinatorTest, BuildsRequestsFromTheRuleTheDestinationAndThePreferences) {
    const Item picture = pngItem();
    preferences.setKeepImageMetadata(true);
    const ConversionRequest r =
        coordinator->request(picture, image(ImageFormat::png), imageRule, 2, 5,
                             ResolvedDestination{viewerID, AppCategory::other, std::nullopt},
                             dir.file("work/drag"), dir.file("promised/picture.png"));
    EXPECT_EQ(r.item, picture);
    EXPECT_EQ(r.containerRoot, store.root());
    EXPECT_EQ(r.delivery, image(ImageFormat::png));
    EXPECT_EQ(r.rename, QStringLiteral("{name}-web"));
    EXPECT_EQ(r.index, 2);
    EXPECT_EQ(r.batchCount, 5);
    EXPECT_EQ(r.destinationApp, QStringLiteral("Document Viewer"));
    EXPECT_EQ(r.workDirectory, dir.file("work/drag"));
    EXPECT_EQ(r.destinationURL, dir.file("promised/picture.png"));
    EXPECT_TRUE(r.keepMetadata);
    EXPECT_EQ(r.date, clock.now());

    struct Case {
        const char* name;
        std::optional<QString> bundleID;
    };
    const Case nameless[] = {{"no application", std::nullopt},
                             {"an application that is not installed", QStringLiteral("org.x.Y")}};
    for (const Case& c : nameless) {
        SCOPED_TRACE(c.name);
        const ConversionRequest plain =
            coordinator->request(picture, Delivery::original(), std::nullopt, 0, 1,
                                 ResolvedDestination{c.bundleID, AppCategory::other, std::nullopt},
                                 QString(), std::nullopt);
        EXPECT_EQ(plain.destinationApp, std::nullopt);
        EXPECT_EQ(plain.rename, std::nullopt);
    }
}

TEST_F(CoordinatorTest, MakesANewFolderPerDragAndShrugsOffAFailure) {
    const QString first = coordinator->makeWorkDirectory();
    const QString second = coordinator->makeWorkDirectory();
    EXPECT_NE(first, second);
    EXPECT_TRUE(QFileInfo(first).isDir());
    EXPECT_EQ(QFileInfo(first).absolutePath(), dir.file("work"));
    const QString name = QFileInfo(first).fileName();
    EXPECT_EQ(name.size(), 36);
    EXPECT_EQ(name, name.toUpper());

    // A file where the work root should be: the folder cannot be made.
    dir.write("blocked", "x");
    DeliveryCoordinator blocked(store, rules, *engine, undoLog, preferences, dir.file("blocked"),
                                applications, clock);
    const QString folder = blocked.makeWorkDirectory();
    EXPECT_TRUE(folder.startsWith(dir.file("blocked/")));
    EXPECT_FALSE(QFileInfo(folder).exists());
}

TEST_F(CoordinatorTest, CountsOnlyConversionsThatWroteAFile) {
    const Item picture = pngItem();
    struct Case {
        const char* name;
        Delivery delivery;
        bool wroteFile;
    };
    const Case cases[] = {
        {"a JPEG conversion", image(ImageFormat::jpeg), true},
        {"the unchanged item", Delivery::original(), false},
        {"its path", Delivery::path(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qint64 before = preferences.conversionCount();
        const std::optional<ConversionResult> result =
            await(coordinator->produce(requestFor(picture, c.delivery)));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->is<ConversionResult::File>(), c.wroteFile);
        EXPECT_EQ(preferences.conversionCount() - before, c.wroteFile ? 1 : 0);
    }
}

TEST_F(CoordinatorTest, AFailingConversionFallsBackToTheStoredFile) {
    RecordingLogSink log;
    const Item notes = fileItem(QStringLiteral("notes.txt"), "not a picture");
    const ConversionRequest png =
        coordinator->request(notes, image(ImageFormat::png), imageRule, 0, 1,
                             ResolvedDestination::unknown(), dir.file("work/drag"), std::nullopt);

    const std::optional<ConversionResult> result = await(coordinator->produce(png));
    EXPECT_EQ(result, ConversionResult::original(*notes.payloadURL(store.root())));
    EXPECT_EQ(preferences.conversionCount(), 0);
    EXPECT_EQ(log.lines(), std::vector<QString>{"deliver error: conversion failed for notes.txt; "
                                                "delivering the original: cannotRead(notes.txt)"});

    await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(), {*result}));
    EXPECT_EQ(preferences.dropCount(), 1);
}

TEST_F(CoordinatorTest, TheFallBackGetsTheUnchangedItemWithoutRenaming) {
    std::vector<ConversionRequest> seen;
    useEngine(std::make_unique<ConversionEngine>(1, [&](const ConversionRequest& r) {
        seen.push_back(r);
        if (r.delivery.isConversion())
            throw ConversionError::cannotDecode(QStringLiteral("picture.png"));
        return ConversionResult::original(QStringLiteral("/stored"));
    }));
    const Item picture = pngItem();
    ConversionRequest request = requestFor(picture, image(ImageFormat::jpeg));
    request.rename = QStringLiteral("{name}-web");
    request.index = 3;

    EXPECT_EQ(await(coordinator->produce(request)),
              ConversionResult::original(QStringLiteral("/stored")));
    ASSERT_EQ(seen.size(), 2u);
    ConversionRequest expected = request;
    expected.delivery = Delivery::original();
    expected.rename = std::nullopt;
    EXPECT_EQ(seen[1].delivery, expected.delivery);
    EXPECT_EQ(seen[1].rename, expected.rename);
    EXPECT_EQ(seen[1].index, 3);
    EXPECT_EQ(seen[1].workDirectory, request.workDirectory);
}

TEST_F(CoordinatorTest, NothingWhenEvenTheUnchangedItemCannotBeProduced) {
    RecordingLogSink log;
    useEngine(
        std::make_unique<ConversionEngine>(1, [](const ConversionRequest&) -> ConversionResult {
            throw ConversionError::noPayload();
        }));
    const Item picture = pngItem();
    EXPECT_EQ(await(coordinator->produce(requestFor(picture, image(ImageFormat::png)))),
              std::nullopt);
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST_F(CoordinatorTest, RecordsWrittenFilesWithTheirFingerprintsOnly) {
    const Item picture = pngItem();
    const QString jpeg = written("picture.jpg", "jpeg bytes");
    const QString stored = *picture.payloadURL(store.root());

    await(coordinator->recordDelivery(
        picture, ResolvedDestination{browserID, AppCategory::browser, {}},
        {ConversionResult::original(stored), ConversionResult::text(QStringLiteral("/path")),
         ConversionResult::file(jpeg)}));
    const std::optional<UndoEntry> entry = undoLog.mostRecent(clock.now());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->item, picture);
    EXPECT_EQ(entry->destinationBundleID, browserID);
    EXPECT_EQ(entry->writtenURLs, QStringList{jpeg});
    EXPECT_EQ(entry->hashes, QStringList{Fingerprint::ofWritten(jpeg)});
    EXPECT_EQ(entry->at, clock.now());
    EXPECT_EQ(preferences.dropCount(), 1);

    // Nothing written: an entry all the same, and a count.
    await(coordinator->recordDelivery(picture, ResolvedDestination::unknown(),
                                      {ConversionResult::original(stored)}));
    EXPECT_FALSE(undoLog.mostRecent(clock.now())->wasFileTarget());
    EXPECT_EQ(preferences.dropCount(), 2);
}

TEST_F(CoordinatorTest, AFileWithoutAFingerprintIsNeverDeletedByUndo) {
    // A named pipe cannot be fingerprinted; the file after it can.
    const QString pipe = dir.file("work/drag/pipe");
    QDir().mkpath(dir.file("work/drag"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString jpeg = written("picture.jpg", "jpeg bytes");
    const Item notes = textItem(QStringLiteral("notes"));

    await(
        coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                    {ConversionResult::file(pipe), ConversionResult::file(jpeg)}));
    const std::optional<UndoEntry> entry = undoLog.mostRecent(clock.now());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->writtenURLs, QStringList{jpeg});
    EXPECT_EQ(entry->hashes, QStringList{Fingerprint::ofWritten(jpeg)});

    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now().addingSeconds(5))),
              UndoLog::Outcome::restoredAndDeleted(1));
    EXPECT_FALSE(QFileInfo::exists(jpeg));
    EXPECT_TRUE(QFileInfo::exists(pipe));
}

TEST_F(CoordinatorTest, UndoWithinTheWindowDeletesAndPutsTheItemBack) {
    const Item notes = textItem(QStringLiteral("meeting notes"));
    const QString txt = written("meeting notes.txt", "meeting notes");
    await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                      {ConversionResult::file(txt)}));
    store.remove(notes.id);

    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now().addingSeconds(59))),
              UndoLog::Outcome::restoredAndDeleted(1));
    EXPECT_FALSE(QFileInfo::exists(txt));
    EXPECT_EQ(store.item(notes.id), notes);
    EXPECT_EQ(preferences.undoCount(), 1);
    // Used up.
    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now().addingSeconds(59))),
              UndoLog::Outcome::expired());
    EXPECT_EQ(preferences.undoCount(), 1);
}

TEST_F(CoordinatorTest, UndoLeavesAnItemStillOnTheShelfAlone) {
    const Item picture = pngItem();
    await(coordinator->recordDelivery(picture, ResolvedDestination::unknown(), {}));
    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())), UndoLog::Outcome::restoredOnly());
    EXPECT_EQ(store.items().size(), 1u);
    EXPECT_EQ(preferences.undoCount(), 1);
}

TEST_F(CoordinatorTest, UndoPutsBackARemovedFileItemWithItsFile) {
    const Item picture = pngItem();
    const QString payload = *picture.payloadURL(store.root());
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray bytes = contents(payload);
    ASSERT_FALSE(bytes.isEmpty());
    const QString jpeg = written("picture.jpg", "jpeg bytes");
    await(coordinator->recordDelivery(picture, ResolvedDestination::unknown(),
                                      {ConversionResult::file(jpeg)}));
    // Removing the item keeps its folder, aside, for the undo window.
    store.remove(picture.id);
    ASSERT_FALSE(QFileInfo::exists(itemFolder(store.root(), picture.id)));

    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now().addingSeconds(30))),
              UndoLog::Outcome::restoredAndDeleted(1));
    EXPECT_FALSE(QFileInfo::exists(jpeg));
    EXPECT_EQ(store.item(picture.id), picture);
    EXPECT_EQ(contents(payload), bytes);
    EXPECT_EQ(ItemStore(store.root()).item(picture.id), picture) << "and it is on disk";
}

TEST_F(CoordinatorTest, UndoNeverPutsBackAFileItemWhoseFolderIsGone) {
    RecordingLogSink log;
    const Item picture = pngItem();
    const QString jpeg = written("picture.jpg", "jpeg bytes");
    await(coordinator->recordDelivery(picture, ResolvedDestination::unknown(),
                                      {ConversionResult::file(jpeg)}));
    store.remove(picture.id);
    // What the end of the undo window does to the folder kept aside.
    for (const QString& name :
         QDir(store.root()).entryList({".removed.*"}, QDir::Dirs | QDir::Hidden))
        ASSERT_TRUE(QDir(store.root() + "/" + name).removeRecursively());

    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())),
              UndoLog::Outcome::restoredAndDeleted(1));
    EXPECT_FALSE(QFileInfo::exists(jpeg));
    EXPECT_TRUE(store.items().empty());
    EXPECT_FALSE(QFileInfo::exists(itemFolder(store.root(), picture.id)));
    EXPECT_EQ(log.lines(), std::vector<QString>{
                               "deliver notice: undo could not put back picture.png: its file is "
                               "gone"});
}

TEST_F(CoordinatorTest, UndoAfterAnEditIsRefusedAndTheNextUndoFindsTheOlderDelivery) {
    const Item notes = textItem(QStringLiteral("notes"));
    const QString older = written("older.txt", "older");
    await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                      {ConversionResult::file(older)}));
    clock.advance(10);
    const QString newer = written("newer.txt", "newer");
    await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                      {ConversionResult::file(newer)}));
    written("newer.txt", "edited since");

    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())),
              UndoLog::Outcome::refusedFileChanged());
    EXPECT_TRUE(QFileInfo::exists(newer));
    EXPECT_EQ(preferences.undoCount(), 0);

    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())),
              UndoLog::Outcome::restoredAndDeleted(1));
    EXPECT_FALSE(QFileInfo::exists(older));
    EXPECT_EQ(preferences.undoCount(), 1);
}

TEST_F(CoordinatorTest, UndoWithNothingRecentIsExpired) {
    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())), UndoLog::Outcome::expired());

    const Item notes = textItem(QStringLiteral("notes"));
    const QString txt = written("notes.txt", "notes");
    await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                      {ConversionResult::file(txt)}));
    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now().addingSeconds(60.5))),
              UndoLog::Outcome::expired());
    EXPECT_TRUE(QFileInfo::exists(txt));
    EXPECT_EQ(preferences.undoCount(), 0);
}

} // namespace

namespace {

// An undo of a delivery that wrote one file or folder, after `change`.
class UndoCaseTest : public CoordinatorTest {
public:
    using CoordinatorTest::dir;
    using CoordinatorTest::written;

    struct Case {
        const char* name;
        std::function<QString(UndoCaseTest&)> deliver; // what the delivery wrote
        std::function<void(UndoCaseTest&, const QString&)> change;
        UndoLog::Outcome expected;
        bool writtenStays;
    };

    static QByteArray large(char tail) {
        QByteArray bytes(1200000, 'x'); // past the first MiB a content hash reads
        bytes[bytes.size() - 1] = tail;
        return bytes;
    }

    QString folder() {
        written("Album/one.txt", "one");
        written("Album/inner/two.txt", "two");
        return dir.file("work/drag/Album");
    }

    static void keepTime(const QString& path, const std::function<void()>& change) {
        struct stat before {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
        change();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
};

TEST_F(UndoCaseTest, UndoDeletesOnlyWhatIsUnchanged) {
    const auto none = [](UndoCaseTest&, const QString&) {};
    const std::vector<Case> cases = {
        {"unchanged file", [](UndoCaseTest& t) { return t.written("big.bin", large('a')); }, none,
         UndoLog::Outcome::restoredAndDeleted(1), false},
        {"file edited inside its first MiB",
         [](UndoCaseTest& t) { return t.written("big.bin", large('a')); },
         [](UndoCaseTest& t, const QString&) {
             QByteArray edited = large('a');
             edited[10] = 'E';
             t.written("big.bin", edited);
         },
         UndoLog::Outcome::refusedFileChanged(), true},
        {"file edited past its first MiB",
         [](UndoCaseTest& t) { return t.written("big.bin", large('a')); },
         [](UndoCaseTest& t, const QString&) { t.written("big.bin", large('E')); },
         UndoLog::Outcome::refusedFileChanged(), true},
        {"folder with a file edited in place", [](UndoCaseTest& t) { return t.folder(); },
         [](UndoCaseTest& t, const QString& path) {
             keepTime(path + "/inner", [&] { t.written("Album/inner/two.txt", "TWO, edited"); });
         },
         UndoLog::Outcome::refusedFileChanged(), true},
        {"folder with a file added", [](UndoCaseTest& t) { return t.folder(); },
         [](UndoCaseTest& t, const QString&) { t.written("Album/inner/three.txt", "new"); },
         UndoLog::Outcome::refusedFileChanged(), true},
        {"unchanged folder", [](UndoCaseTest& t) { return t.folder(); }, none,
         UndoLog::Outcome::restoredAndDeleted(1), false},
        {"file without a fingerprint",
         [](UndoCaseTest& t) {
             const QString pipe = t.dir.file("work/drag/pipe");
             QDir().mkpath(t.dir.file("work/drag"));
             EXPECT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
             return pipe;
         },
         // Left out of the record: the delivery counts as one that wrote nothing.
         none, UndoLog::Outcome::restoredOnly(), true},
    };
    const Item notes = textItem(QStringLiteral("notes"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = c.deliver(*this);
        await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                          {ConversionResult::file(path)}));
        c.change(*this, path);
        EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())), c.expected);
        EXPECT_EQ(QFileInfo::exists(path), c.writtenStays);
        // Whatever the outcome, the entry is used up.
        EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())), UndoLog::Outcome::expired());
        Files::removeRecursively(dir.file("work/drag"));
    }
}

TEST_F(UndoCaseTest, ASecondUndoOfTheSameDeliveryDeletesNothing) {
    const Item notes = textItem(QStringLiteral("notes"));
    const QString txt = written("notes.txt", "notes");
    await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                      {ConversionResult::file(txt)}));
    const std::optional<UndoEntry> entry = undoLog.mostRecent(clock.now());
    ASSERT_TRUE(entry);
    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())),
              UndoLog::Outcome::restoredAndDeleted(1));
    written("notes.txt", "notes"); // the same name and bytes, written again by the user
    EXPECT_EQ(undoLog.undo(*entry, clock.now()), UndoLog::Outcome::expired());
    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())), UndoLog::Outcome::expired());
    EXPECT_TRUE(QFileInfo::exists(txt));
    EXPECT_EQ(preferences.undoCount(), 1);
}

TEST_F(UndoCaseTest, AnUndoWaitsForDeliveriesStillBeingFingerprinted) {
    const Item notes = textItem(QStringLiteral("notes"));
    const QString older = written("older.bin", large('o'));
    await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                      {ConversionResult::file(older)}));
    const QString newer = written("newer.bin", large('n'));
    // Neither the record nor the undo is waited for before the next call.
    const QFuture<void> recorded = coordinator->recordDelivery(
        notes, ResolvedDestination::unknown(), {ConversionResult::file(newer)});
    const QFuture<UndoLog::Outcome> undone = coordinator->undoLastDelivery(clock.now());
    EXPECT_EQ(await(undone), UndoLog::Outcome::restoredAndDeleted(1));
    EXPECT_TRUE(recorded.isFinished());
    EXPECT_FALSE(QFileInfo::exists(newer));
    EXPECT_TRUE(QFileInfo::exists(older));
}

TEST_F(UndoCaseTest, AHandOverByReferenceLeavesNothingToUndo) {
    const Item notes = textItem(QStringLiteral("notes"));
    const QString saved = written("saved.txt", "saved where the target asked");
    await(coordinator->recordDelivery(notes, ResolvedDestination::unknown(),
                                      {ConversionResult::file(saved)}));
    // The target copied a file of our work folder itself: undo cannot reach
    // its copy, so it claims nothing, and leaves the earlier delivery alone.
    coordinator->recordHandOver(notes, ResolvedDestination{browserID, AppCategory::browser, {}});
    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())), UndoLog::Outcome::expired());
    EXPECT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(preferences.dropCount(), 2);
    EXPECT_EQ(preferences.undoCount(), 0);

    // Behind a delivery still being fingerprinted, the same.
    const QString next = written("next.bin", large('x'));
    const QFuture<void> recorded = coordinator->recordDelivery(
        notes, ResolvedDestination::unknown(), {ConversionResult::file(next)});
    coordinator->recordHandOver(notes, ResolvedDestination::unknown());
    EXPECT_EQ(await(coordinator->undoLastDelivery(clock.now())), UndoLog::Outcome::expired());
    EXPECT_TRUE(recorded.isFinished());
    EXPECT_TRUE(QFileInfo::exists(next));
}

} // namespace
