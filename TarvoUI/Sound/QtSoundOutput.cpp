#include "QtSoundOutput.h"

#include "TarvoCore/Log.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QFileInfo>
#include <QMediaDevices>

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

// Qt Multimedia reaches the speakers through a PulseAudio (or PipeWire) server
// and warns when there is none; a desktop without one is silent by choice, so
// the server's socket is looked for first.
bool audioServerReachable() {
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        return true;
    QStringList sockets{QStringLiteral("/run/pulse/native"),
                        QStringLiteral("/var/run/pulse/native")};
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        sockets.prepend(runtime + QStringLiteral("/pulse/native"));
    for (const QString& socket : sockets) {
        if (QFileInfo::exists(socket))
            return true;
    }
    return false;
}

} // namespace

QtSoundOutput::QtSoundOutput() = default;

QtSoundOutput::~QtSoundOutput() {
    if (m_sink)
        m_sink->stop();
}

void QtSoundOutput::play(const std::vector<float>& samples, int sampleRate) {
    if (m_noDevice)
        return;
    if (!m_sink || m_sinkRate != sampleRate) {
        const QAudioDevice device =
            audioServerReachable() ? QMediaDevices::defaultAudioOutput() : QAudioDevice();
        if (device.isNull()) {
            m_noDevice = true;
            Log::ui().debug(QStringLiteral("no audio output: sounds stay silent"));
            return;
        }
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        m_sink = std::make_unique<QAudioSink>(device, format);
        m_sinkRate = sampleRate;
    }
    m_sink->stop();
    m_buffer.close();
    // The server mixes at 16 bits; the rounding happens once, here.
    m_pcm.resize(qsizetype(samples.size() * sizeof(qint16)));
    auto* out = reinterpret_cast<qint16*>(m_pcm.data());
    for (std::size_t i = 0; i < samples.size(); ++i)
        out[i] = qint16(std::clamp(std::lround(double(samples[i]) * 32767.0), -32768L, 32767L));
    m_buffer.setBuffer(&m_pcm);
    m_buffer.open(QIODevice::ReadOnly);
    m_sink->start(&m_buffer);
}

void QtSoundOutput::stop() {
    if (m_sink)
        m_sink->stop();
}

bool QtSoundOutput::isPlaying() const {
    return m_sink && m_sink->state() == QAudio::ActiveState;
}

} // namespace tarvo
