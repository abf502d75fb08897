#include "TarvoConvert/ConversionEngine.h"

#include <gtest/gtest.h>

using namespace tarvo;

namespace {

ConversionRequest request(const QString& displayName, Delivery delivery,
                          std::optional<QString> rename = std::nullopt) {
    ConversionRequest r;
    r.item.id = QUuid::createUuid();
    r.item.payload = ItemPayload::file(QStringLiteral("stored.bin"));
    r.item.displayName = displayName;
    r.delivery = std::move(delivery);
    r.rename = std::move(rename);
    r.index = 0;
    r.batchCount = 12;
    r.workDirectory = QStringLiteral("/nonexistent");
    r.date = Date::fromSecondsSince1970(1709647629);
    return r;
}

Delivery image(ImageFormat format) {
    ImageOptions o;
    o.format = format;
    return Delivery::image(o);
}

} // namespace

TEST(ConversionNaming, ExtensionsAndTemplates) {
    struct Case {
        QString displayName;
        Delivery delivery;
        std::optional<QString> rename;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"photo.heic", image(ImageFormat::jpeg), std::nullopt, "photo.jpg"},
        {"photo.heic", image(ImageFormat::jpeg), "{name}-small", "photo-small.jpg"},
        {"photo.heic", image(ImageFormat::jpeg), "{name}.JPG", "photo.JPG"},
        {"photo.heic", image(ImageFormat::png), std::nullopt, "photo.png"},
        {"photo.heic", image(ImageFormat::png), "", "photo.png"},
        {"photo.heic", image(ImageFormat::jpeg), "{name}-{n}", "photo-01.jpg"},
        {"photo.heic", Delivery::path(), std::nullopt, "photo"},
        {"photo.heic", Delivery::path(), "{name}.{ext}x", "photo.x"},
        {"README", Delivery::original(), std::nullopt, "README"},
        {"notes.tar.gz", Delivery::original(), std::nullopt, "notes.tar.gz"},
        {"Team wiki.home", Delivery::webloc(), std::nullopt, "Team wiki.desktop"},
        {"report.pdf", Delivery::plainText(), std::nullopt, "report.txt"},
        {"scan.png", Delivery::pdf(), std::nullopt, "scan.pdf"},
        {"scan.png", Delivery::pdf(), "{name} {app}", "scan.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.displayName + " / " + c.rename.value_or("-")).toStdString());
        EXPECT_EQ(ConversionEngine::fileName(request(c.displayName, c.delivery, c.rename)),
                  c.expected);
    }
}

TEST(ConversionNaming, EveryNameIsAPlainNameInsideItsFolder) {
    struct Case {
        const char* why;
        QString displayName;
        Delivery delivery;
        std::optional<QString> rename;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"a title that climbs out", "../../x", Delivery::webloc(), std::nullopt, "..-..-x.desktop"},
        {"the same through a template", "../../x", Delivery::webloc(), "{name}", "..-..-x.desktop"},
        {"absolute path", "/etc/passwd", Delivery::original(), std::nullopt, "-etc-passwd"},
        {"a dotfile keeps its name", ".env", Delivery::original(), std::nullopt, ".env"},
        {"control characters", "a\nb\x1b[0m\x7f.txt", Delivery::original(), std::nullopt,
         "a-b-[0m-.txt"},
        {"NUL", QString::fromLatin1("a\0b", 3), Delivery::plainText(), std::nullopt, "a-b.txt"},
        {"no name at all", "", Delivery::webloc(), std::nullopt, "_.desktop"},
        {"no name, no extension", "", Delivery::original(), std::nullopt, "_"},
        {"a dot", ".", Delivery::original(), std::nullopt, "_."},
        {"two dots", "..", Delivery::original(), std::nullopt, "_.."},
        {"a template that gives nothing", "", image(ImageFormat::jpeg), "{app}", "_.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ConversionEngine::fileName(request(c.displayName, c.delivery, c.rename)),
                  c.expected);
    }
}

TEST(ConversionNaming, LongNamesAreShortenedKeepingTheExtension) {
    const std::vector<std::pair<QString, Delivery>> cases = {
        {QString(300, u'a') + ".heic", image(ImageFormat::jpeg)},
        {QString(200, u'é') + ".txt", Delivery::original()},
        {QString::fromUcs4(U"\U0001F600").repeated(100) + "x.md", Delivery::original()},
    };
    for (const auto& [name, delivery] : cases) {
        const QString result = ConversionEngine::fileName(request(name, delivery));
        SCOPED_TRACE(result.toStdString());
        EXPECT_LE(result.toUtf8().size(), 240);
        EXPECT_GT(result.toUtf8().size(), 200);
        const QString ext =
            delivery.is<Delivery::Original>() ? name.section(u'.', -1) : QStringLiteral("jpg");
        EXPECT_TRUE(result.endsWith(u'.' + ext));
        // Half of a character (a lone surrogate) would not survive UTF-8.
        EXPECT_EQ(QString::fromUtf8(result.toUtf8()), result);
        EXPECT_FALSE(result.contains(QChar(QChar::ReplacementCharacter)));
    }
}
