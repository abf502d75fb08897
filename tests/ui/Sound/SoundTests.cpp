#include "support/RecordingLogSink.h"
#include "support/TempDir.h"

#include "TarvoPlatform/memory/MemorySoundOutput.h"
#include "LandedSound.h"
#include "QtSoundOutput.h"
#include "SoundPlayer.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>

using namespace tarvo;

namespace {

std::vector<std::uint8_t> bytesOf(const QByteArray& data) {
    return {data.begin(), data.end()};
}

} // namespace

TEST(LandedSound, SamplesMatchTheirDefinition) {
    const auto first = LandedSound::samples();
    ASSERT_EQ(first.size(), 2646u);
    EXPECT_EQ(first.front(), 0.0f) << "the attack starts from silence";
    EXPECT_EQ(first, LandedSound::samples()) << "identical on every run";
    const double peak = LandedSound::peak(first);
    EXPECT_LE(peak, 0.98 + 1e-6);
    // Either the loudness target holds or the peak limit took over.
    const double rms = LandedSound::rmsdBFS(first);
    if (std::abs(peak - 0.98) > 1e-4)
        EXPECT_NEAR(rms, -22.0, 0.01);
    else
        EXPECT_LT(rms, -22.0);

    // Computed apart from the program, in double precision, from the two
    // tones, the seeded noise burst, the low-pass, the attack and decay and
    // the normalising: a wrong frequency, decay, seed or filter moves them.
    struct Pin {
        std::size_t frame;
        double value;
    };
    const Pin pins[] = {
        {1, 0.004673497681067471},       {2, 0.01913296841774278},
        {10, 0.04774892065967102},       {44, 0.26315875518013765},
        {45, 0.20064432175507002},       {100, -0.4732768444816502},
        {441, -0.03585750668176099},     {1000, -0.0030551250141515707},
        {2645, -6.0126000314152485e-05},
    };
    for (const Pin& pin : pins)
        EXPECT_NEAR(first[pin.frame], pin.value, 1e-6 + 1e-5 * std::abs(pin.value))
            << "frame " << pin.frame;
}

TEST(LandedSound, NormalisingEdgeCases) {
    const std::vector<float> silent(64, 0.0f);
    EXPECT_EQ(LandedSound::normalised(silent, -22), silent);
    EXPECT_TRUE(LandedSound::normalised({}, -22).empty());
    EXPECT_EQ(LandedSound::rmsdBFS(silent), -INFINITY);
    EXPECT_EQ(LandedSound::peak({}), 0.0);

    // A quiet steady tone reaches the target loudness.
    std::vector<float> tone(1000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = float(0.01 * std::sin(double(i) * 0.3));
    EXPECT_NEAR(LandedSound::rmsdBFS(LandedSound::normalised(tone, -22)), -22.0, 1e-3);

    // A lone spike would need a gain that lifts it past full scale: its
    // peak is held at 0.98 instead.
    std::vector<float> spike(1000, 0.0f);
    spike[10] = 0.1f;
    const auto limited = LandedSound::normalised(spike, -22);
    EXPECT_NEAR(LandedSound::peak(limited), 0.98, 1e-6);
    EXPECT_LT(LandedSound::rmsdBFS(limited), -22.0);
}

TEST(LandedSound, WavRoundTripKeeps24Bits) {
    const auto samples = LandedSound::samples();
    const auto data = LandedSound::wavData(samples);
    EXPECT_EQ(data.size(), 44u + 3u * 2646u);
    const auto decoded = LandedSound::readWav(data);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->sampleRate, 44100);
    EXPECT_EQ(decoded->channels, 1);
    EXPECT_EQ(decoded->bitDepth, 24);
    ASSERT_EQ(decoded->samples.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_NEAR(decoded->samples[i], samples[i], 1.0 / 8388608.0) << i;
}

TEST(LandedSound, ReaderRefusesDamagedFiles) {
    auto data = LandedSound::wavData(LandedSound::samples());
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases{
        {"empty", {}},
        {"cut inside the header", {data.begin(), data.begin() + 30}},
        {"cut inside the samples", {data.begin(), data.end() - 100}},
        {"not RIFF",
         [&] {
             auto b = data;
             b[0] = 'X';
             return b;
         }()},
        {"floating point",
         [&] {
             auto b = data;
             b[20] = 3;
             return b;
         }()},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(LandedSound::readWav(c.bytes)) << c.name;
}

TEST(LandedSound, ShippedResourceHoldsTheSamples) {
    QFile file(QString::fromLatin1(SoundPlayer::landedResource));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto decoded = LandedSound::readWav(bytesOf(file.readAll()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->bitDepth, 24);
    EXPECT_EQ(decoded->sampleRate, 44100);
    const auto expected = LandedSound::samples();
    ASSERT_EQ(decoded->samples.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_NEAR(decoded->samples[i], expected[i], 1.0 / 8388608.0) << i;
}

TEST(SoundPlayer, PlaysOnlyWhileEnabledAskingAtEachLanding) {
    bool enabled = false;
    auto output = std::make_unique<MemorySoundOutput>();
    auto* heard = output.get();
    SoundPlayer player([&] { return enabled; }, std::move(output));
    ASSERT_TRUE(player.isLoaded());
    player.playLanded();
    EXPECT_TRUE(heard->events.empty());
    enabled = true;
    player.playLanded();
    EXPECT_EQ(heard->events, std::vector<std::string>{"play"});
    EXPECT_EQ(heard->lastSampleRate, 44100);
    EXPECT_EQ(heard->lastSamples.size(), 2646u);
}

TEST(SoundPlayer, ASecondLandingRestartsTheSound) {
    auto output = std::make_unique<MemorySoundOutput>();
    auto* heard = output.get();
    SoundPlayer player([] { return true; }, std::move(output));
    player.playLanded();
    player.playLanded(); // still playing: stopped, then played from the start
    heard->finish();
    player.playLanded(); // finished: simply played
    EXPECT_EQ(heard->events, (std::vector<std::string>{"play", "stop", "play", "play"}));
}

TEST(SoundPlayer, MissingOrDamagedResourceIsSilent) {
    test::TempDir dir;
    const QString damaged = dir.write(QStringLiteral("landed.wav"), QByteArray("RIFFxxxxWAVE"));
    for (const QString& resource : {QStringLiteral(":/Tarvo/none.wav"), damaged}) {
        auto output = std::make_unique<MemorySoundOutput>();
        auto* heard = output.get();
        SoundPlayer player([] { return true; }, std::move(output), resource);
        EXPECT_FALSE(player.isLoaded());
        player.playLanded();
        EXPECT_TRUE(heard->events.empty());
    }
}

TEST(QtSoundOutput, WithoutAnAudioServerPlaysNothingAndWarnsOfNothing) {
    test::TempDir runtime;
    const bool hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray oldServer = qgetenv("PULSE_SERVER");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qunsetenv("PULSE_SERVER");
    static int warnings = 0;
    warnings = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
            if (type != QtDebugMsg && type != QtInfoMsg)
                ++warnings;
        });
    test::RecordingLogSink log;
    {
        QtSoundOutput output;
        output.play(LandedSound::samples(), LandedSound::sampleRate);
        EXPECT_FALSE(output.isPlaying());
        output.play(LandedSound::samples(), LandedSound::sampleRate);
        output.stop();
    }
    qInstallMessageHandler(previous);
    for (const LogRecord& record : log.records())
        EXPECT_EQ(record.level, LogLevel::debug) << record.message.toStdString();
    EXPECT_EQ(warnings, 0);
    if (oldServer.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", oldServer);
    if (hadRuntime)
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}
