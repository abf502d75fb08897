// The image work as the program reaches it, through the module loaded on
// first use: the same files and the same errors as the converters called
// directly.
#include "ConversionErrorOf.h"
#include "ImageFixtures.h"

#include "TarvoConvert/ImageConverter.h"
#include "TarvoConvert/Imaging.h"
#include "TarvoConvert/ImagingModule.h"
#include "TarvoConvert/PDFConverter.h"
#include "TarvoCore/LoadableModule.h"
#include "TarvoCore/Log.h"
#include "TarvoPlatform/SoundOutput.h"
#include "TarvoUI/Sound/SoundModule.h"
#include "TarvoUpdates/NetworkModule.h"

#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>
#include <vector>

namespace tarvo::test {
namespace {

TEST(ImagingModule, ConvertsAndFailsAsTheConvertersDo) {
    const TempDir dir;
    const QString png = dir.file("wide.png");
    writePng(png, 400, 100, {0, 128, 255});
    const QString text = dir.write("notes.txt", "words");
    ImageOptions jpeg;
    jpeg.maxPixels = 200;

    Imaging::convertImage(png, jpeg, dir.file("small.jpg"));
    EXPECT_TRUE(Imaging::isLoaded());
    const Decoded small = inspect(dir.file("small.jpg"));
    EXPECT_EQ(small.width, 200);
    EXPECT_EQ(small.height, 50);
    EXPECT_EQ(small.loader, "jpegload");

    struct Case {
        const char* name;
        std::function<void()> throughModule;
        std::function<void()> direct;
    };
    const std::vector<Case> cases = {
        {"no image", [&] { Imaging::convertImage(text, jpeg, dir.file("a.jpg")); },
         [&] { ImageConverter::convert(text, jpeg, dir.file("b.jpg")); }},
        {"missing source",
         [&] { Imaging::convertImage(dir.file("gone.png"), jpeg, dir.file("a.jpg")); },
         [&] { ImageConverter::convert(dir.file("gone.png"), jpeg, dir.file("b.jpg")); }},
        {"unwritable destination",
         [&] { Imaging::convertImage(png, jpeg, dir.file("none/a.jpg")); },
         [&] { ImageConverter::convert(png, jpeg, dir.file("none/a.jpg")); }},
        {"no images for a PDF", [&] { Imaging::imagesToPDF({}, dir.file("a.pdf")); },
         [&] { PDFConverter::imagesToPDF({}, dir.file("b.pdf")); }},
        {"a text onto a PDF",
         [&] {
             Imaging::imagesToPDF({png, text}, dir.file("a.pdf"));
         },
         [&] {
             PDFConverter::imagesToPDF({png, text}, dir.file("b.pdf"));
         }},
    };
    for (const Case& c : cases) {
        const ConversionError viaModule = errorOf(c.throughModule);
        const ConversionError direct = errorOf(c.direct);
        EXPECT_EQ(viaModule, direct) << c.name;
        // The library's reason may name a temporary file of its own.
        EXPECT_EQ(viaModule.reason().isEmpty(), direct.reason().isEmpty()) << c.name;
    }
}

TEST(ImagingModule, WeighsAndDrawsPictures) {
    const TempDir dir;
    const QString png = dir.file("square.png");
    writePng(png, 300, 300, {10, 200, 30});
    ImageOptions options;
    EXPECT_EQ(Imaging::decodedBytes(png, &options), 300 * 300 * 4);
    EXPECT_EQ(Imaging::decodedBytes(png, nullptr), 300 * 300 * 4 * 2);
    EXPECT_EQ(Imaging::decodedBytes(dir.write("notes.txt", "words"), &options), 0);

    const QImage picture = Imaging::thumbnail(png, 64);
    EXPECT_EQ(picture.size(), QSize(64, 64));
    EXPECT_TRUE(Imaging::thumbnail(dir.file("gone.png"), 64).isNull());
}

TEST(LoadableModule, AMissingModuleIsLoggedAndGivesNothing) {
    RecordingLogSink log;
    EXPECT_EQ(LoadableModule::entry("tarvo-no-such-module.so", "entry"), nullptr);
    const std::vector<QString> lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines.front().startsWith(QStringLiteral("core error: could not load ") +
                                         LoadableModule::folder() +
                                         QStringLiteral("/tarvo-no-such-module.so: ")))
        << lines.front().toStdString();
}

TEST(LoadableModule, AModuleWithoutTheEntryIsLoggedAndGivesNothing) {
    RecordingLogSink log;
    EXPECT_EQ(LoadableModule::entry("tarvo-imaging.so", "no_such_entry"), nullptr);
    EXPECT_EQ(log.lines(),
              std::vector<QString>{QStringLiteral("core error: ") + LoadableModule::folder() +
                                   QStringLiteral("/tarvo-imaging.so has no "
                                                  "no_such_entry")});
}

// The image module's table as a later build of the program would expect it.
struct LaterImagingModule : ImagingModule {
    static constexpr int currentVersion = ImagingModule::currentVersion + 1;
};

struct MissingModule : ImagingModule {
    static constexpr const char* fileName = "tarvo-no-such-module.so";
};

TEST(LoadableModule, ATableIsHandedOutOnlyByAModuleOfThisBuild) {
    RecordingLogSink log;
    const ImagingModule* imaging = LoadableModule::table<ImagingModule>(Log::convert());
    ASSERT_NE(imaging, nullptr);
    EXPECT_EQ(imaging->version, ImagingModule::currentVersion);
    EXPECT_NE(LoadableModule::table<SoundModule>(Log::ui()), nullptr);
    EXPECT_NE(LoadableModule::table<NetworkModule>(Log::updates()), nullptr);
    EXPECT_TRUE(log.lines().empty());

    EXPECT_EQ(LoadableModule::table<LaterImagingModule>(Log::convert()), nullptr);
    EXPECT_EQ(log.lines(), std::vector<QString>{QStringLiteral(
                               "convert error: tarvo-imaging.so is from another build of Tarvo")});

    EXPECT_EQ(LoadableModule::table<MissingModule>(Log::convert()), nullptr);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_TRUE(log.lines().back().startsWith(QStringLiteral("core error: could not load ")))
        << log.lines().back().toStdString();
}

struct MissingSoundModule : SoundModule {
    static constexpr const char* fileName = "tarvo-no-such-module.so";
};

struct LaterSoundModule : SoundModule {
    static constexpr int currentVersion = SoundModule::currentVersion + 1;
};

TEST(LoadableModule, ALoaderMakesItsProductOnceAndTriesAMissingModuleOnce) {
    struct Case {
        const char* name;
        std::function<SoundOutput*(bool load)> ask; // made(), or get() when `load`
        bool makes;
        QString logged; // the start of the one line logged, if any
    };
    LoadableModule::Loader<SoundModule> present(Log::ui());
    LoadableModule::Loader<MissingSoundModule> missing(Log::ui());
    LoadableModule::Loader<LaterSoundModule> later(Log::ui());
    const auto asking = [](auto& loader) {
        return [&loader](bool load) { return load ? loader.get() : loader.made(); };
    };
    const std::vector<Case> cases = {
        {"present", asking(present), true, {}},
        {"missing", asking(missing), false, QStringLiteral("core error: could not load ")},
        {"another build", asking(later), false,
         QStringLiteral("ui error: tarvo-sound.so is from another build of Tarvo")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingLogSink log;
        EXPECT_EQ(c.ask(false), nullptr) << "made before it was asked for";
        EXPECT_TRUE(log.lines().empty());
        SoundOutput* first = c.ask(true);
        EXPECT_EQ(first != nullptr, c.makes);
        EXPECT_EQ(c.ask(true), first);
        EXPECT_EQ(c.ask(false), first);
        const std::vector<QString> lines = log.lines();
        if (c.logged.isEmpty()) {
            EXPECT_TRUE(lines.empty());
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_TRUE(lines.front().startsWith(c.logged)) << lines.front().toStdString();
        }
    }
}

} // namespace
} // namespace tarvo::test
