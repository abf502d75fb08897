// The real program when its start-up fails: a planted lock path, and a
// termination signal while the alert that tells of it is open.
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>

#include <gtest/gtest.h>
#include <unistd.h>

using tarvo::test::TempDir;

namespace {

// Turns until the program's error output holds `text` or the deadline passes.
bool waitForError(QProcess& process, QByteArray& seen, const QByteArray& text, int seconds) {
    const QDeadlineTimer deadline(seconds * 1000);
    while (!seen.contains(text) && !deadline.hasExpired() && process.state() == QProcess::Running) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardError();
    }
    seen += process.readAllStandardError();
    return seen.contains(text);
}

} // namespace

TEST(StartFailure, ALinkAtTheLockPathStopsTheStartAndASignalEndsTheAlert) {
    TempDir dir;
    const QString data = dir.file("data");
    ASSERT_TRUE(QDir().mkpath(data + "/Tarvo"));
    const QString victim = dir.file("notes.txt");
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me\n");
    }
    const QString lock = data + "/Tarvo/tarvo.lock";
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(lock).constData()),
              0);

    QProcessEnvironment environment;
    environment.insert("PATH", qEnvironmentVariable("PATH"));
    environment.insert("HOME", dir.path());
    environment.insert("XDG_DATA_HOME", data);
    environment.insert("XDG_CONFIG_HOME", dir.file("config"));
    environment.insert("XDG_CACHE_HOME", dir.file("cache"));
    environment.insert("XDG_RUNTIME_DIR", dir.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS"));
    QProcess tarvo;
    tarvo.setProcessEnvironment(environment);
    tarvo.start(QStringLiteral(TARVO_BINARY), {});
    ASSERT_TRUE(tarvo.waitForStarted(30000));

    QByteArray errors;
    ASSERT_TRUE(waitForError(tarvo, errors, "could not start:", 60)) << errors.toStdString();
    EXPECT_TRUE(errors.contains("is a symbolic link, not Tarvo's lock file"))
        << errors.toStdString();
    EXPECT_TRUE(errors.contains(QFile::encodeName(lock))) << errors.toStdString();
    // The alert stays open until someone answers it or the program is told to end.
    EXPECT_FALSE(tarvo.waitForFinished(500));

    ASSERT_EQ(::kill(pid_t(tarvo.processId()), SIGTERM), 0);
    const bool ended = tarvo.waitForFinished(30000);
    if (!ended)
        tarvo.kill();
    ASSERT_TRUE(ended) << "the alert kept the program running after SIGTERM";
    EXPECT_EQ(tarvo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tarvo.exitCode(), 1);
    EXPECT_EQ(dir.read("notes.txt"), "keep me\n");
    EXPECT_TRUE(QFileInfo(lock).isSymLink());
}
