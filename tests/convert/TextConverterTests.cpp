#include "ConvertPrinters.h"
#include "TarvoConvert/ConversionError.h"
#include "TarvoConvert/TextConverter.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

using namespace tarvo;

namespace {

// What bash makes of `word` as one argument, with nothing in its environment
// but the path and the locale `locale`: the test that quoting is right.
QByteArray bashArgument(const QString& word, const QString& locale) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("LC_ALL"), locale);
    QProcess bash;
    bash.setProcessEnvironment(environment);
    bash.start(QStringLiteral("/bin/bash"),
               {QStringLiteral("-c"), QStringLiteral("printf %s ") + word});
    bash.waitForFinished();
    return bash.readAllStandardOutput();
}

bool hasRawControl(const QString& text) {
    for (const char32_t c : text.toStdU32String()) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return true;
    }
    return false;
}

} // namespace

TEST(TextConverterQuoting, SafePathsStayBareOthersAreQuoted) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"/Users/me/report_final.pdf", "/Users/me/report_final.pdf"},
        {"/a/b+c@d:e,f=g%h-i.j", "/a/b+c@d:e,f=g%h-i.j"},
        {"/tmp/My File.txt", "'/tmp/My File.txt'"},
        {"/tmp/it's", "'/tmp/it'\\''s'"},
        {QStringLiteral("/tmp/café"), QStringLiteral("'/tmp/café'")},
        {"~/notes", "'~/notes'"},
        {"/tmp/$HOME", "'/tmp/$HOME'"},
        {"/tmp/a*b?(c)", "'/tmp/a*b?(c)'"},
        {"", "''"},
        {"/tmp/new\nline", "'/tmp/new'$'\\x0a''line'"},
        {"\x1b[31mred", "$'\\x1b''[31mred'"},
        {"\r\n", "$'\\x0d\\x0a'"},
        {QStringLiteral("tab\tand\u0085next\u0007"),
         "'tab'$'\\x09''and'$'\\xc2\\x85''next'$'\\x07'"},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(TextConverter::quotedPath(path), expected);
    }
}

TEST(TextConverterQuoting, AShellReadsBackExactlyThePath) {
    const std::vector<QString> paths = {
        "/tmp/My File.txt", "/tmp/it's",
        "/tmp/'''",         QStringLiteral("/tmp/café ☕"),
        "/tmp/$(rm -rf x)", "/tmp/`id`;echo",
        "/tmp/new\nline",   "/tmp/\x1b]0;title\x07\x1b[201~; echo pwned",
        "/tmp/\r\t\x7f",    QStringLiteral("/tmp/\u009b31m"),
        "/tmp/back\\slash", "/tmp/\"dq\"",
    };
    // The C locale is what a fresh machine or container runs in; escapes
    // that depended on the locale were read literally there.
    for (const QString& locale : {QStringLiteral("C"), QStringLiteral("C.UTF-8")}) {
        for (const QString& path : paths) {
            SCOPED_TRACE(locale.toStdString() + " " + path.toStdString());
            const QString quoted = TextConverter::quotedPath(path);
            EXPECT_FALSE(hasRawControl(quoted)) << quoted.toStdString();
            EXPECT_EQ(bashArgument(quoted, locale), path.toUtf8());
        }
    }
}

TEST(TextConverterQuoting, SeveralPathsJoinWithOneSpace) {
    EXPECT_EQ(TextConverter::quotedPaths({}), QString());
    EXPECT_EQ(TextConverter::quotedPaths({"/a/b", "/c d"}), "/a/b '/c d'");
    EXPECT_EQ(TextConverter::quotedPaths({"/x"}), "/x");
}

TEST(TextConverterLinkFile, ADesktopEntryOfTypeLink) {
    EXPECT_EQ(TextConverter::desktopLink(QUrl("https://example.com/a?b=1&c=%3C2%3E"), "Team wiki"),
              "[Desktop Entry]\nType=Link\nName=Team wiki\n"
              "URL=https://example.com/a?b=1&c=%3C2%3E\nIcon=text-html\n");
    EXPECT_EQ(TextConverter::desktopLink(QUrl(QStringLiteral("https://bücher.example/straße")),
                                         QStringLiteral("Bücher")),
              QStringLiteral("[Desktop Entry]\nType=Link\nName=Bücher\n"
                             "URL=https://xn--bcher-kva.example/stra%C3%9Fe\nIcon=text-html\n")
                  .toUtf8());
}

TEST(TextConverterLinkFile, ANameCanAddNoKeyOfItsOwn) {
    struct Case {
        const char* why;
        QString name;
        QByteArray nameLine;
    };
    const std::vector<Case> cases = {
        {"line breaks", "a\nType=Application\nExec=rm -rf ~",
         "Name=a\\nType=Application\\nExec=rm -rf ~"},
        {"carriage return and tab", "a\r\tb", "Name=a\\r\\tb"},
        {"backslash", "C:\\dir", "Name=C:\\\\dir"},
        {"leading space", " padded", "Name=\\spadded"},
        {"other control characters", "bell\x07\x1b[0m", "Name=bell[0m"},
        {"no name", "", "Name=https://example.com/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const QByteArray file = TextConverter::desktopLink(QUrl("https://example.com/"), c.name);
        const QList<QByteArray> lines = file.split('\n');
        ASSERT_EQ(lines.size(), 6) << file.toStdString();
        EXPECT_EQ(lines[2], c.nameLine);
        EXPECT_EQ(lines[3], "URL=https://example.com/");
    }
}

TEST(TextConverterWebloc, ExactBytes) {
    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                "<plist version=\"1.0\">\n"
                                "<dict>\n"
                                "\t<key>URL</key>\n"
                                "\t<string>https://example.com/a?b=1&amp;c=%3C2%3E</string>\n"
                                "</dict>\n"
                                "</plist>\n";
    EXPECT_EQ(TextConverter::webloc(QUrl("https://example.com/a?b=1&c=%3C2%3E")), expected);
}

TEST(TextConverterWebloc, RoundTripAndUnreadableFiles) {
    for (const QUrl& url : {QUrl("https://example.com/"), QUrl("https://example.com/a b?q=x&y=<z>"),
                            QUrl(QStringLiteral("https://bücher.example/straße")),
                            QUrl("mailto:someone@example.com"), QUrl("file:///tmp/x y")}) {
        SCOPED_TRACE(url.toString().toStdString());
        const auto back = TextConverter::titleFromWebloc(TextConverter::webloc(url));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->toString(QUrl::FullyEncoded), url.toString(QUrl::FullyEncoded));
    }

    const std::vector<std::pair<const char*, QByteArray>> unreadable = {
        {"arbitrary bytes", QByteArray("\x00\x01garbage", 9)},
        {"empty", QByteArray()},
        {"no URL entry", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Title</key>"
                         "<string>x</string></dict></plist>"},
        {"a number under URL",
         "<plist version=\"1.0\"><dict><key>URL</key><integer>4</integer></dict></plist>"},
        {"root is an array", "<plist version=\"1.0\"><array><string>x</string></array></plist>"},
        {"not a plist", "<html><dict><key>URL</key><string>https://x/</string></dict></html>"},
        {"empty URL",
         "<plist version=\"1.0\"><dict><key>URL</key><string></string></dict></plist>"},
        {"cut off", "<plist version=\"1.0\"><dict><key>URL</key><string>https://x/"},
    };
    for (const auto& [name, bytes] : unreadable) {
        SCOPED_TRACE(name);
        EXPECT_EQ(TextConverter::titleFromWebloc(bytes), std::nullopt);
    }

    const QByteArray withOtherKeys =
        "<plist version=\"1.0\"><dict><key>Title</key><dict><key>URL</key><string>https://inner/"
        "</string></dict><key>URL</key><string>https://outer/</string></dict></plist>";
    EXPECT_EQ(TextConverter::titleFromWebloc(withOtherKeys), QUrl("https://outer/"));
}
