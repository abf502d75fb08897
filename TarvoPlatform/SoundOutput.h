#pragma once

#include <vector>

namespace tarvo {

// Where short sounds are played: one sound at a time, mono samples in [-1, 1).
// The real backend plays on the desktop's audio server; a machine without an
// audio device plays nothing.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Starts `samples` from their beginning; returns at once.
    virtual void play(const std::vector<float>& samples, int sampleRate) = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
};

} // namespace tarvo
