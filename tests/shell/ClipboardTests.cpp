// The clipboard's two backends: Qt's (offscreen, kept in the process) and the
// memory one put the same data on the clipboard for the same writes, and read
// it back as a paste would.
#include "TarvoPlatform/Pasteboard.h"
#include "TarvoPlatform/QtClipboard.h"
#include "TarvoPlatform/TypeMapping.h"
#include "TarvoPlatform/memory/MemoryClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include <functional>

namespace tarvo::test {
namespace {

struct Backend {
    const char* name;
    std::function<std::unique_ptr<Clipboard>()> make;
    // What other applications would now read from it.
    std::function<const QMimeData*(Clipboard&)> held;
};

const Backend backends[] = {
    {"Qt", [] { return std::make_unique<QtClipboard>(); },
     [](Clipboard&) { return QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard); }},
    {"memory", [] { return std::make_unique<MemoryClipboard>(); },
     [](Clipboard& clipboard) { return static_cast<MemoryClipboard&>(clipboard).data(); }},
};

TEST(Clipboard, FilesAreWrittenAsFileManagersPasteThemAndReadBackAsFiles) {
    const QList<QUrl> files = {QUrl::fromLocalFile(QStringLiteral("/tmp/a report.txt")),
                               QUrl::fromLocalFile(QStringLiteral("/tmp/photo #1.png"))};
    for (const Backend& backend : backends) {
        std::unique_ptr<Clipboard> clipboard = backend.make();
        ASSERT_TRUE(clipboard->writeFileURLs(files)) << backend.name;
        const QMimeData* data = backend.held(*clipboard);
        ASSERT_TRUE(data) << backend.name;
        EXPECT_EQ(data->data("text/uri-list"),
                  "file:///tmp/a%20report.txt\r\nfile:///tmp/photo%20%231.png\r\n")
            << backend.name;
        EXPECT_EQ(data->data("x-special/gnome-copied-files"),
                  "copy\nfile:///tmp/a%20report.txt\nfile:///tmp/photo%20%231.png")
            << backend.name;
        EXPECT_EQ(data->text(), QStringLiteral("/tmp/a report.txt\n/tmp/photo #1.png"))
            << backend.name;

        const std::unique_ptr<Pasteboard> pasted = clipboard->contents();
        EXPECT_EQ(pasted->readURLs(true), files) << backend.name;

        // A later write of text replaces the files altogether.
        ASSERT_TRUE(clipboard->writeText(QStringLiteral("'/tmp/a report.txt'"))) << backend.name;
        data = backend.held(*clipboard);
        EXPECT_FALSE(data->hasUrls()) << backend.name;
        EXPECT_FALSE(data->hasFormat("x-special/gnome-copied-files")) << backend.name;
        EXPECT_EQ(clipboard->contents()->string(TypeIdentifier::utf8PlainText),
                  QStringLiteral("'/tmp/a report.txt'"))
            << backend.name;
        EXPECT_TRUE(clipboard->contents()->readURLs(true).isEmpty()) << backend.name;
    }
}

TEST(Clipboard, WhatWasReadStaysWhileTheClipboardChanges) {
    for (const Backend& backend : backends) {
        std::unique_ptr<Clipboard> clipboard = backend.make();
        ASSERT_TRUE(clipboard->writeText(QStringLiteral("first"))) << backend.name;
        const std::unique_ptr<Pasteboard> earlier = clipboard->contents();
        ASSERT_TRUE(clipboard->writeText(QStringLiteral("second"))) << backend.name;
        EXPECT_EQ(earlier->string(TypeIdentifier::utf8PlainText), QStringLiteral("first"))
            << backend.name;
    }
}

} // namespace
} // namespace tarvo::test
