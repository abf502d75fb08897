#include "SoundPlayer.h"

#include "LandedSound.h"
#include "TarvoPlatform/SoundOutput.h"

#include <QFile>

namespace tarvo {

SoundPlayer::SoundPlayer(std::function<bool()> enabled, std::unique_ptr<SoundOutput> output,
                         const QString& resource)
    : m_enabled(std::move(enabled)), m_output(std::move(output)) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();
    const auto decoded = LandedSound::readWav(std::span(
        reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())));
    if (!decoded || decoded->samples.empty() || decoded->sampleRate <= 0)
        return;
    m_sound = decoded->samples;
    m_sampleRate = decoded->sampleRate;
}

SoundPlayer::~SoundPlayer() = default;

void SoundPlayer::playLanded() {
    if (!m_enabled || !m_enabled() || m_sound.empty() || !m_output)
        return;
    if (m_output->isPlaying())
        m_output->stop();
    m_output->play(m_sound, m_sampleRate);
}

} // namespace tarvo
