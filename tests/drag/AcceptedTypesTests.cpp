#include "TarvoDrag/AcceptedTypes.h"

#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/MemoryPasteboard.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

TEST(AcceptedTypes, ListsPromisesThenTheTwelveConcreteTypes) {
    EXPECT_EQ(AcceptedTypes::promiseTypes(),
              (QStringList{"XdndDirectSave0", "com.apple.pasteboard.promised-file-url"}));
    EXPECT_EQ(
        AcceptedTypes::concreteTypes(),
        (QStringList{"public.file-url", "public.url", "public.png", "public.tiff", "public.rtf",
                     "com.apple.flat-rtfd", "public.html", "public.utf8-plain-text", "public.jpeg",
                     "public.heic", "com.adobe.pdf", "public.image"}));
    EXPECT_EQ(AcceptedTypes::all(), AcceptedTypes::promiseTypes() + AcceptedTypes::concreteTypes());
}

TEST(AcceptedTypes, AcceptsWhenAnyTypeIsAMember) {
    struct Case {
        const char* name;
        QStringList types;
        bool expected;
    };
    const std::vector<Case> cases{
        {"empty list", {}, false},
        {"only the promised-file URL", {"com.apple.pasteboard.promised-file-url"}, true},
        {"a direct save", {"XdndDirectSave0"}, true},
        {"foreign then text", {"com.example.private", "public.utf8-plain-text"}, true},
        {"only foreign", {"com.example.private", "public.data"}, false},
        {"case matters", {"PUBLIC.PNG"}, false},
        {"MIME types are not identifiers", {"text/uri-list", "image/png"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AcceptedTypes::canAccept(c.types), c.expected);
    }
}

TEST(AcceptedTypes, AsksThePasteboardForItsCurrentTypes) {
    MemoryPasteboard pasteboard;
    EXPECT_FALSE(AcceptedTypes::canAccept(pasteboard)); // no types at all
    pasteboard.declareTypes(QStringList{});
    EXPECT_FALSE(AcceptedTypes::canAccept(pasteboard));
    pasteboard.declareTypes(QStringList{QString(TypeIdentifier::image)});
    EXPECT_TRUE(AcceptedTypes::canAccept(pasteboard));
}

} // namespace
