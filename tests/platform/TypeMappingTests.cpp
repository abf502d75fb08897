#include "TarvoPlatform/TypeMapping.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace tarvo;

namespace {

TEST(TypeMapping, MimeTypesAndAtomsStandForIdentifiers) {
    struct Case {
        QString mime;
        QStringList identifiers;
    };
    const std::vector<Case> cases{
        {"text/uri-list", {"public.file-url", "public.url"}},
        {"text/x-moz-url", {"public.url", "public.url-name"}},
        {"_NETSCAPE_URL", {"public.url", "public.url-name"}},
        {"image/png", {"public.png"}},
        {"IMAGE/PNG", {"public.png"}},
        {"image/tiff", {"public.tiff"}},
        {"image/jpeg", {"public.jpeg"}},
        {"image/heif", {"public.heic"}},
        {"image/gif", {"public.image"}},
        {"image/svg+xml", {"public.image"}},
        {"text/rtf", {"public.rtf"}},
        {"application/rtf", {"public.rtf"}},
        {"text/html", {"public.html"}},
        {"text/html;charset=utf-8", {"public.html"}},
        {"text/plain;charset=utf-8", {"public.utf8-plain-text"}},
        {"text/plain; charset=UTF-8", {"public.utf8-plain-text"}},
        {"text/plain;charset=iso-8859-1", {"public.utf8-plain-text"}},
        {"text/plain", {"public.utf8-plain-text"}},
        {"UTF8_STRING", {"public.utf8-plain-text"}},
        {"STRING", {"public.utf8-plain-text"}},
        {"TEXT", {"public.utf8-plain-text"}},
        {"utf8_string", {}},
        {"application/pdf", {"com.adobe.pdf"}},
        {"XdndDirectSave0", {"XdndDirectSave0"}},
        {"application/octet-stream", {}},
        {"TARGETS", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mime.toStdString());
        EXPECT_EQ(TypeMapping::identifiers(c.mime), c.identifiers);
    }
}

TEST(TypeMapping, IdentifiersNameTheirMimeTypesMostPreferredFirst) {
    struct Case {
        QString identifier;
        QStringList mimeTypes;
    };
    const std::vector<Case> cases{
        {"public.file-url", {"text/uri-list"}},
        {"public.url", {"text/x-moz-url", "text/uri-list", "_NETSCAPE_URL"}},
        {"public.utf8-plain-text",
         {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING", "TEXT"}},
        {"public.png", {"image/png"}},
        {"com.apple.flat-rtfd", {}},
        {"com.apple.pasteboard.promised-file-url", {}},
        {"public.image", {}},
        {"com.example.unknown", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identifier.toStdString());
        EXPECT_EQ(TypeMapping::mimeTypes(c.identifier), c.mimeTypes);
    }
}

TEST(TypeMapping, EveryMimeTypeOfARowLeadsBackToIt) {
    QSet<QString> identifiers;
    for (const TypeMapping::Row& row : TypeMapping::table()) {
        EXPECT_FALSE(identifiers.contains(row.identifier))
            << "listed twice: " << row.identifier.data();
        identifiers.insert(row.identifier);
        for (const QLatin1String& mime : row.mimeTypes)
            EXPECT_TRUE(TypeMapping::identifiers(QString(mime)).contains(row.identifier))
                << mime.data();
    }
}

TEST(TypeMapping, ListsMapInOrderWithoutRepeats) {
    EXPECT_EQ(TypeMapping::identifiers(QStringList{"TARGETS", "UTF8_STRING", "text/uri-list",
                                                   "text/plain", "text/x-moz-url"}),
              (QStringList{"public.utf8-plain-text", "public.file-url", "public.url",
                           "public.url-name"}));
}

} // namespace
