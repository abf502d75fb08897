#pragma once

#include "TarvoPlatform/SoundOutput.h"

#include <string>
#include <vector>

namespace tarvo {

// Records what would be heard: each play and stop, in order. A sound counts
// as playing from its play until a stop or finish().
class MemorySoundOutput final : public SoundOutput {
public:
    void play(const std::vector<float>& samples, int sampleRate) override {
        events.push_back("play");
        lastSamples = samples;
        lastSampleRate = sampleRate;
        m_playing = true;
    }
    void stop() override {
        events.push_back("stop");
        m_playing = false;
    }
    bool isPlaying() const override { return m_playing; }
    // The sound ran to its end.
    void finish() { m_playing = false; }

    std::vector<std::string> events;
    std::vector<float> lastSamples;
    int lastSampleRate = 0;

private:
    bool m_playing = false;
};

} // namespace tarvo
