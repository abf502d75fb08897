#include "GeometryPrinters.h"

#include "TarvoCore/Item.h"
#include "TarvoCore/ItemLayout.h"
#include "TarvoCore/TarvoOpacity.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tarvo;
namespace L = tarvo::ItemLayout;

namespace {

// Three items on a 400-point strip: a 240-point row centred, so the slots
// span x 104-160, 172-228 and 240-296, y 24-80 (centres at 132, 200, 268).
constexpr Size strip400{400, 92};

Item itemWith(ItemPayload payload, const QString& displayName) {
    Item item;
    item.id = QUuid::fromString(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    item.payload = std::move(payload);
    item.state = ItemState::ready();
    item.displayName = displayName;
    return item;
}

} // namespace

TEST(ItemLayout, StripWidthsForItemCounts) {
    struct Case {
        qsizetype count;
        double contentWidth;
        double rowWidth;
    };
    const std::vector<Case> cases = {
        {-1, 0, 0},    {0, 0, 0},     {1, 104, 104},  {2, 172, 172},
        {8, 580, 580}, {9, 580, 648}, {12, 580, 852}, {20, 580, 1396},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(L::contentWidth(c.count), c.contentWidth);
        EXPECT_EQ(L::rowWidth(c.count), c.rowWidth);
    }
}

TEST(ItemLayout, MaxScrollOffsetIsZeroWhileTheRowFits) {
    struct Case {
        qsizetype count;
        double stripWidth;
        double expected;
    };
    const std::vector<Case> cases = {
        {0, 100, 0}, {3, 400, 0}, {3, 240, 0}, {3, 239, 1}, {10, 716, 0}, {10, 400, 316},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " items on " << c.stripWidth);
        EXPECT_EQ(L::maxScrollOffset(c.count, c.stripWidth), c.expected);
    }
}

TEST(ItemLayout, SlotsOfARowThatFitsAreCentredWhateverTheScroll) {
    for (double scroll : {0.0, 100.0, -50.0}) {
        SCOPED_TRACE(scroll);
        const std::vector<L::Slot> laid = L::slotsFor(3, strip400, scroll);
        const std::vector<L::Slot> expected = {
            {0, {104, 24, 56, 56}, {104, 24, 56, 56}, false},
            {1, {172, 24, 56, 56}, {172, 24, 56, 56}, false},
            {2, {240, 24, 56, 56}, {240, 24, 56, 56}, false},
        };
        EXPECT_EQ(laid, expected);
    }
    // Only the width of the strip counts.
    EXPECT_EQ(L::slotsFor(3, {400, 5}, 0), L::slotsFor(3, strip400, 0));
    EXPECT_TRUE(L::slotsFor(0, strip400, 0).empty());
}

TEST(ItemLayout, SlotsOfAWideRowFollowTheScrollUnclamped) {
    struct Case {
        double scroll;
        double firstX;
    };
    // Ten items: a 716-point row on a 400-point strip.
    const std::vector<Case> cases = {{0, 24}, {100, -76}, {316, -292}, {-20, 44}, {1000, -976}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scroll);
        const std::vector<L::Slot> laid = L::slotsFor(10, strip400, c.scroll);
        ASSERT_EQ(laid.size(), 10u);
        EXPECT_EQ(laid.front().frame.x, c.firstX);
        EXPECT_EQ(laid.back().frame.x, c.firstX + 9 * 68);
        for (std::size_t i = 0; i < laid.size(); ++i) {
            EXPECT_EQ(laid[i].index, static_cast<qsizetype>(i));
            EXPECT_FALSE(laid[i].isOverflowChip);
        }
    }
    // Scrolled to the end, the last slot ends a side padding short of the edge.
    EXPECT_EQ(L::slotsFor(10, strip400, L::maxScrollOffset(10, 400)).back().frame.maxX(), 376);
}

TEST(ItemLayout, HitFrameGrowsSmallFramesAboutTheirCentre) {
    struct Case {
        Rect frame;
        Rect expected;
    };
    const std::vector<Case> cases = {
        {{0, 0, 56, 56}, {0, 0, 56, 56}},
        {{10, 10, 20, 20}, {6, 6, 28, 28}},
        {{0, 0, 10, 40}, {-9, 0, 28, 40}},
        {{5, 5, 0, 0}, {-9, -9, 28, 28}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.frame));
        EXPECT_EQ(L::hitFrame(c.frame), c.expected);
    }
}

TEST(ItemLayout, SlotIndexCountsMinimumEdgesInAndMaximumEdgesOut) {
    struct Case {
        const char* name;
        Point point;
        qsizetype count;
        std::optional<qsizetype> expected;
    };
    const std::vector<Case> cases = {
        {"first slot's lower-left corner", {104, 24}, 3, 0},
        {"inside the first slot", {159.9, 79.9}, 3, 0},
        {"first slot's right edge", {160, 50}, 3, std::nullopt},
        {"in the gap", {166, 50}, 3, std::nullopt},
        {"second slot's left edge", {172, 50}, 3, 1},
        {"last slot's right edge", {296, 50}, 3, std::nullopt},
        {"just inside the last slot", {295.9, 50}, 3, 2},
        {"top edge", {130, 80}, 3, std::nullopt},
        {"below the slots", {130, 23.9}, 3, std::nullopt},
        {"left of every slot", {103.9, 50}, 3, std::nullopt},
        {"no items", {130, 50}, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(L::slotIndex(c.point, c.count, strip400, 0), c.expected);
    }
    // Scrolled: ten items at scroll 100 put slot 2 at x 60-116.
    EXPECT_EQ(L::slotIndex({60, 30}, 10, strip400, 100), 2);
    EXPECT_EQ(L::slotIndex({116, 30}, 10, strip400, 100), std::nullopt);
}

TEST(ItemLayout, InsertionIndexIsBeforeTheFirstCentreRightOfThePoint) {
    struct Case {
        const char* name;
        double x;
        qsizetype count;
        qsizetype expected;
    };
    const std::vector<Case> cases = {
        {"left of every slot", 0, 3, 0},    {"just left of the first centre", 131.9, 3, 0},
        {"on the first centre", 132, 3, 1}, {"between second and third centres", 250, 3, 2},
        {"on the last centre", 268, 3, 2},  {"past the end", 1000, 3, 2},
        {"past the only item", 1000, 1, 0}, {"no items", 50, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(L::insertionIndex({c.x, 50}, c.count, strip400, 0), c.expected);
    }
}

TEST(ItemLayout, TileNameShortensCapturesToTheirTime) {
    struct Case {
        const char* name;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"Screenshot 2024-05-01 at 10.23.45 PM.png", "10:23 PM"},
        {"Screen Recording 2024-05-01 at 9.05.07 AM.mov", "Rec 9:05 AM"},
        {"Screenshot 2024-05-01 at 10.23.45.png", "10:23"},
        {"Screen Recording 2024-05-01 at 21.05.07", "Rec 21:05"},
        {"Screenshot 2024-05-01 at 10.23.45\u202FPM.png", "10:23"},
        {"Screenshot  at 10..23.45  PM .png", "10:23 PM"},
        {"Screenshot 2024-05-01.png", "Screenshot 2024-05-01"},
        {"Screenshot 1 at 10.23", "Screenshot 1 at 10"},
        {"Screenshot at 10.23.45 PM.png", "Screenshot at 10.23.45 PM"},
        {"screenshot 2024 at 10.23.45 PM.png", "screenshot 2024 at 10.23.45 PM"},
        {"Screen Recording.mov", "Screen Recording"},
        {"report.final.pdf", "report.final"},
        {"README", "README"},
        {".hidden", ".hidden"},
        {"folder.d/notes", "folder.d/notes"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(L::tileName(QString::fromUtf8(c.name)), QString::fromUtf8(c.expected));
    }
}

TEST(ItemLayout, TypeLabelByPayload) {
    struct Case {
        const char* name;
        Item item;
        const char* expected;
        bool isFolder = false; // the stored file is known to be a folder
    };
    const std::vector<Case> cases = {
        {"file", itemWith(ItemPayload::file("Report.pdf"), "Report.pdf"), "PDF"},
        {"folder", itemWith(ItemPayload::file("Photos"), "Photos"), "", true},
        {"folder with a dot in its name", itemWith(ItemPayload::file("site.d"), "site.d"), "",
         true},
        {"file without extension", itemWith(ItemPayload::file("Makefile"), "Makefile"), "FILE"},
        {"image, lower-case extension", itemWith(ItemPayload::image("a.jpeg"), "photo.jpeg"),
         "JPEG"},
        {"display name, not stored name", itemWith(ItemPayload::image("x.png"), "Holiday"), "FILE"},
        {"last extension only", itemWith(ItemPayload::file("a"), "archive.tar.gz"), "GZ"},
        {"text", itemWith(ItemPayload::text("hi"), "hi.txt"), "TXT"},
        {"rich text", itemWith(ItemPayload::richText("a.rtf", "a"), "Notes.docx"), "RTF"},
        {"url", itemWith(ItemPayload::url(QUrl("https://example.com/a.pdf")), "a.pdf"), "LINK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(L::typeLabel(c.item, c.isFolder), QString::fromUtf8(c.expected));
    }
}

TEST(ItemLayout, CaptionsShowForUpToSixItemsAndEveryItemGetsASlot) {
    struct Case {
        qsizetype count;
        bool showsFilenames;
    };
    for (const Case& c :
         std::vector<Case>{{0, true}, {1, true}, {6, true}, {7, false}, {30, false}}) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(L::showsFilenames(c.count), c.showsFilenames);
        EXPECT_EQ(L::visibleCount(c.count), (L::VisibleCount{c.count, false}));
    }
}

TEST(TarvoOpacity, IncreasedContrastMapsOnlyTheStandardLevels) {
    struct Case {
        double opacity;
        double increased;
    };
    const std::vector<Case> cases = {
        {0.08, 0.2}, {0.12, 0.24}, {0.15, 0.3}, {0.2, 0.3},       {0.20005, 0.3}, {0.6, 0.8},
        {0.7, 0.9},  {1.0, 1.0},   {0.5, 0.5},  {0.2002, 0.2002}, {0.0, 0.0},     {1.5, 1.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opacity);
        EXPECT_EQ(TarvoOpacity::value(c.opacity, true), c.increased);
        EXPECT_EQ(TarvoOpacity::value(c.opacity, false), c.opacity);
    }
    for (double level : TarvoOpacity::standard) {
        const double mapped = TarvoOpacity::value(level, true);
        EXPECT_NE(std::find(TarvoOpacity::increasedContrast.begin(),
                            TarvoOpacity::increasedContrast.end(), mapped),
                  TarvoOpacity::increasedContrast.end())
            << level;
    }
}
