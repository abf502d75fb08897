#pragma once

#include "TarvoPlatform/SoundOutput.h"

#include <QBuffer>
#include <QByteArray>

#include <memory>

class QAudioSink;

namespace tarvo {

// Plays through Qt Multimedia on the desktop's audio server. The sink is made
// at the first play, so a program that never plays opens no audio connection;
// without an output device every play is silent.
class QtSoundOutput final : public SoundOutput {
public:
    QtSoundOutput();
    ~QtSoundOutput() override;

    void play(const std::vector<float>& samples, int sampleRate) override;
    void stop() override;
    bool isPlaying() const override;

private:
    std::unique_ptr<QAudioSink> m_sink;
    int m_sinkRate = 0;
    QByteArray m_pcm;
    QBuffer m_buffer;
    bool m_noDevice = false;
};

} // namespace tarvo
