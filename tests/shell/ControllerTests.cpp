#include "ShellFixture.h"

#include "TarvoCore/ItemStore.h"
#include "TarvoCore/L10n.h"
#include "TarvoPlatform/MimePasteboard.h"
#include "ItemLayer.h"
#include "TarvoPanel.h"
#include "TarvoView.h"
#include "ThumbnailProvider.h"

#include "support/EventLoopWait.h"
#include "support/ItemFactory.h"
#include "support/RecordingLogSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMimeData>

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

class ControllerTest : public ::testing::Test, protected ControllerFixture {};

TEST_F(ControllerTest, StartsHiddenWithThePanelOrderedOut) {
    auto controller = makeController();
    controller->start();
    EXPECT_EQ(controller->state(), TarvoState::hidden);
    EXPECT_FALSE(controller->panel().isPanelVisible());
}

TEST_F(ControllerTest, NoDelayedActionOutlivesTheController) {
    auto controller = makeController();
    controller->start();
    controller->openTarvo();
    controller->undoLastDrop();
    controller->showTransientNotice(QStringLiteral("Saved"), false);
    controller->settleAfterDrag();
    ASSERT_GT(m_shell.clock.pendingCount(), 0u);
    ASSERT_EQ(controller->pendingPlainDelays(), 1u);

    controller.reset();
    EXPECT_EQ(m_shell.clock.pendingCount(), 0u);
    m_shell.clock.advance(60); // nothing left to run into a controller that is gone
}

TEST_F(ControllerTest, TheUndoNoticeClearsAfterThreeSecondsUnlessReplaced) {
    auto controller = makeController();
    controller->start();
    controller->undoLastDrop();
    const std::optional<QString> undoText = controller->view().notice();
    ASSERT_TRUE(undoText);
    m_shell.clock.advance(2.9);
    EXPECT_EQ(controller->view().notice(), undoText);
    m_shell.clock.advance(0.1);
    EXPECT_EQ(controller->view().notice(), std::nullopt);
    EXPECT_EQ(controller->pendingPlainDelays(), 0u);

    controller->undoLastDrop();
    m_shell.clock.advance(1);
    controller->view().setNotice(QStringLiteral("Copied"));
    m_shell.clock.advance(2);
    EXPECT_EQ(controller->view().notice(), QStringLiteral("Copied"));
}

TEST_F(ControllerTest, LandedItemsGetTheirPicturesAndARemovedItemsPictureIsForgotten) {
    auto controller = makeController();
    controller->start();
    const Item first =
        addTextItem(controller->store(), QStringLiteral("hello"), m_shell.clock.now());
    controller->itemsArrived({first});
    EXPECT_TRUE(
        test::runEventsUntil([&] { return controller->view().thumbnail(first.id).has_value(); }));

    const Item second =
        addTextItem(controller->store(), QStringLiteral("again"), m_shell.clock.now());
    controller->itemsArrived({second});
    EXPECT_TRUE(
        test::runEventsUntil([&] { return controller->view().thumbnail(second.id).has_value(); }));

    // A removed item's picture is forgotten.
    controller->tarvoViewDidRequestRemovalOf(controller->view(), {first.id});
    EXPECT_FALSE(controller->thumbnails().cached(first));
    controller->clearTarvo();
    EXPECT_FALSE(controller->thumbnails().cached(second));
}

// A folder's picture already shows a folder: its tile has no type badge,
// while a file without an extension still shows "FILE".
TEST_F(ControllerTest, AStoredFolderShowsNoTypeBadge) {
    auto controller = makeController();
    controller->start();
    Item folder =
        test::makeFileItem(controller->store(), QStringLiteral("Photos"), "x", m_shell.clock.now());
    const QString stored = *folder.payloadURL(controller->store().root());
    ASSERT_TRUE(QFile::remove(stored));
    ASSERT_TRUE(QDir().mkpath(stored + QStringLiteral("/inner")));
    ASSERT_TRUE(controller->store().add(folder).is<ItemStore::AddResult::Added>());
    const Item plain = test::addFileItem(controller->store(), QStringLiteral("Makefile"), "all:\n",
                                         false, m_shell.clock.now());
    controller->itemsArrived({folder, plain});
    TarvoView& view = controller->view();
    ASSERT_TRUE(test::runEventsUntil([&] {
        return view.thumbnail(folder.id).has_value() && view.thumbnail(plain.id).has_value();
    }));
    ASSERT_NE(view.itemLayer(folder.id), nullptr);
    ASSERT_NE(view.itemLayer(plain.id), nullptr);
    EXPECT_EQ(view.itemLayer(folder.id)->typeText(), QString());
    EXPECT_EQ(view.itemLayer(folder.id)->typeBadge->opacity(), 0);
    EXPECT_EQ(view.itemLayer(plain.id)->typeText(), QStringLiteral("FILE"));
}

// A dropped folder's tile never wears the "FILE" badge, from the frame its
// placeholder first appears in, before any picture came, and again after a
// restart, when the shelf is read back from the disk.
TEST_F(ControllerTest, ADroppedFolderShowsNoTypeBadgeBeforeItsPictureComes) {
    const QString dropped = m_dir.file("Desktop/Album");
    ASSERT_TRUE(QDir().mkpath(dropped + QStringLiteral("/inner")));
    QUuid id;
    {
        auto controller = makeController();
        controller->start();
        controller->openTarvo();
        TarvoView& view = controller->view();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(dropped)});
        ASSERT_TRUE(controller->tarvoView(view, MimePasteboard(data), QPointF()));
        ASSERT_EQ(controller->store().items().size(), 1u);
        id = controller->store().items().front().id;
        ASSERT_NE(view.itemLayer(id), nullptr);
        ASSERT_FALSE(view.thumbnail(id).has_value());
        EXPECT_EQ(view.itemLayer(id)->typeText(), QString());
        EXPECT_EQ(view.itemLayer(id)->typeBadge->opacity(), 0);
        ASSERT_TRUE(test::runEventsUntil([&] {
            const std::optional<Item> item = controller->store().item(id);
            return item && item->state.isReady();
        }));
        EXPECT_EQ(view.itemLayer(id)->typeText(), QString()) << "the copy is done";
        controller->thumbnails().waitForWorkers();
        controller->store().save();
    }
    auto controller = makeController();
    controller->start();
    controller->openTarvo();
    TarvoView& view = controller->view();
    ASSERT_NE(view.itemLayer(id), nullptr);
    ASSERT_FALSE(view.thumbnail(id).has_value());
    EXPECT_EQ(view.itemLayer(id)->typeText(), QString()) << "read back after a restart";
}

// A long shelf opens with pictures asked for the tiles near the view only;
// scrolling asks for the tiles that come.
TEST_F(ControllerTest, ALongShelfAsksForThePicturesOfTheTilesNearTheViewOnly) {
    auto controller = makeController();
    for (int i = 0; i < 400; ++i)
        addTextItem(controller->store(), QStringLiteral("note %1").arg(i), m_shell.clock.now());
    controller->start();
    controller->openTarvo();
    ASSERT_EQ(controller->view().items().size(), 400u);
    TarvoView& view = controller->view();
    const auto [first, last] = view.layerWindow();
    ASSERT_GT(last, first);
    EXPECT_LT(last - first, 100u);
    ASSERT_TRUE(test::runEventsUntil([&] { return view.tilesWithoutPictures().empty(); }));
    controller->thumbnails().waitForWorkers();
    QCoreApplication::processEvents();
    EXPECT_EQ(std::size_t(controller->thumbnails().memoryCount()), last - first);

    const Item far = view.items()[300];
    EXPECT_FALSE(controller->thumbnails().cached(far));
    view.revealItem(far.id);
    EXPECT_TRUE(test::runEventsUntil([&] { return view.thumbnail(far.id).has_value(); }));
}

TEST_F(ControllerTest, AFirstStartSeedsTheDestinationLogWithDownloadsAboveDesktop) {
    const QString downloads = m_dir.file("home/Downloads");
    const QString desktop = m_dir.file("home/Desktop");
    ASSERT_TRUE(QDir().mkpath(downloads));
    ASSERT_TRUE(QDir().mkpath(desktop));
    {
        auto controller = makeController();
        controller->start();
        const auto& entries = controller->destinations()->entries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].kind, RecentDestination::Kind::folder(downloads));
        EXPECT_EQ(entries[1].kind, RecentDestination::Kind::folder(desktop));
        controller->destinations()->noteFolder(m_dir.file("Projects"), m_shell.clock.now());
    }
    // The user's own folders stay, even one that has gone since.
    auto controller = makeController();
    controller->start();
    EXPECT_EQ(controller->destinations()->entries().size(), 3u);
}

TEST_F(ControllerTest, AFirstStartWithoutADownloadsFolderOffersTheDesktopAlone) {
    ASSERT_TRUE(QDir().mkpath(m_dir.file("home/Desktop")));
    auto controller = makeController();
    controller->start();
    const auto& entries = controller->destinations()->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, RecentDestination::Kind::folder(m_dir.file("home/Desktop")));
}

TEST_F(ControllerTest, AgedItemsAreLoggedAndShowNoNotice) {
    {
        ItemStore store(m_dir.file("Tarvo/Items"));
        addTextItem(store, QStringLiteral("old"), m_shell.clock.now().addingSeconds(-8 * 86400));
        addTextItem(store, QStringLiteral("new"), m_shell.clock.now().addingSeconds(-60));
    }
    RecordingLogSink log;
    auto controller = makeController();
    controller->start();
    EXPECT_EQ(controller->store().items().size(), 1u);
    EXPECT_EQ(controller->view().notice(), std::nullopt);
    const auto lines = log.lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), QStringLiteral("core notice: aged out 1 items")),
        lines.end());
}

TEST_F(ControllerTest, ItemsTrimmedToTheStoresCapAreCountedInTheNoticeAtStart) {
    // Files that say they are large without taking the disk: three of 0.8 GB
    // are one too many for the 2 GB cap, and an item aged out is no part of
    // the count.
    const qint64 large = TarvoController::storeCapBytes * 4 / 10;
    {
        ItemStore store(m_dir.file("Tarvo/Items"));
        addTextItem(store, QStringLiteral("old"), m_shell.clock.now().addingSeconds(-8 * 86400));
        for (int i = 0; i < 3; ++i) {
            const Item item = addFileItem(store, QStringLiteral("big%1.bin").arg(i), "big", false,
                                          m_shell.clock.now().addingSeconds(-600 + i));
            QFile file(*item.payloadURL(store.root()));
            ASSERT_TRUE(file.resize(large));
        }
    }
    auto controller = makeController();
    controller->start();
    EXPECT_EQ(controller->store().items().size(), 2u);
    EXPECT_EQ(controller->view().notice(), L10n::evicted(1));
}

// Opened on purpose, an empty shelf waits as long as one with items: the
// person has to get there first.
TEST_F(ControllerTest, OpeningAnEmptyShelfRetractsAfterItsSettleTime) {
    auto controller = makeController();
    controller->start();
    controller->openTarvo();
    EXPECT_EQ(controller->state(), TarvoState::resting);
    EXPECT_TRUE(controller->panel().isPanelVisible());
    EXPECT_TRUE(controller->view().showsEmptyHint());
    m_shell.clock.advance(4.7);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    m_shell.clock.advance(0.1);
    EXPECT_EQ(controller->state(), TarvoState::hidden);
    // The island slides up out of sight before the window goes.
    EXPECT_TRUE(controller->view().isDisappearing());
    m_shell.clock.advance(0.5);
    EXPECT_FALSE(controller->panel().isPanelVisible());
}

TEST_F(ControllerTest, OpeningAShelfWithItemsFoldsIntoTheTabAfterFourPointEightSeconds) {
    auto controller = makeController();
    addTextItem(controller->store(), QStringLiteral("note"), m_shell.clock.now());
    controller->start();
    controller->openTarvo();
    m_shell.clock.advance(4.7);
    EXPECT_EQ(controller->state(), TarvoState::resting);
    m_shell.clock.advance(0.1);
    EXPECT_EQ(controller->state(), TarvoState::tab);
    controller->toggleTarvo();
    EXPECT_EQ(controller->state(), TarvoState::hidden);
}

TEST_F(ControllerTest, ADragShowsTheShelfTakingDropsOverTheWholePanel) {
    auto controller = makeController();
    controller->start();
    controller->dragMonitor(controller->monitor(), QPointF(640, 790));
    EXPECT_EQ(controller->state(), TarvoState::dragging);
    EXPECT_TRUE(controller->panel().isPanelVisible());
    const QRegion input =
        m_shell.windowSystem.inputRegions.value(quint64(controller->panel().winId()));
    EXPECT_EQ(input, QRegion(controller->view().rect()));

    controller->dragMonitorDragEnded(controller->monitor());
    m_shell.clock.advance(0.25);
    EXPECT_EQ(controller->state(), TarvoState::hidden);
}

TEST_F(ControllerTest, ASourceApplicationIsReportedOnlyAtItsFirstSighting) {
    auto controller = makeController();
    controller->start();
    std::vector<QString> seen;
    controller->onSeenNewApp = [&](const QString& id) { seen.push_back(id); };
    Item item = addTextItem(controller->store(), QStringLiteral("a"), m_shell.clock.now());
    item.sourceBundleID = QStringLiteral("org.example.Writer");
    controller->itemsArrived({item});
    controller->itemsArrived({item});
    EXPECT_EQ(seen, std::vector<QString>{QStringLiteral("org.example.Writer")});
    EXPECT_EQ(controller->state(), TarvoState::resting);
}

TEST_F(ControllerTest, ALandingPlaysTheSoundOnlyWhenTheUserWantsIt) {
    auto controller = makeController();
    controller->start();
    ASSERT_NE(m_shell.sound, nullptr);
    const Item item = addTextItem(controller->store(), QStringLiteral("a"), m_shell.clock.now());
    controller->itemsArrived({item});
    EXPECT_TRUE(m_shell.sound->events.empty());
    m_preferences.setPlaySoundOnDrop(true);
    controller->itemsArrived({item});
    EXPECT_EQ(m_shell.sound->events, std::vector<std::string>{"play"});
}

TEST_F(ControllerTest, StopSavesTheStore) {
    auto controller = makeController();
    controller->start();
    addTextItem(controller->store(), QStringLiteral("kept"), m_shell.clock.now());
    controller->stop();
    ItemStore reopened(m_dir.file("Tarvo/Items"));
    ASSERT_EQ(reopened.items().size(), 1u);
    EXPECT_EQ(reopened.items().front().displayName, QStringLiteral("kept"));
}

} // namespace
} // namespace tarvo::test
