#pragma once

#include "SoundModule.h"

#include "TarvoPlatform/SoundOutput.h"

namespace tarvo {

// The desktop's audio output, made by the sound module at the first play: Qt
// Multimedia and the audio libraries under it are mapped only once a sound
// plays. Without the module every play is silent. Main thread.
class ModuleSoundOutput final : public SoundOutput {
public:
    ModuleSoundOutput();
    ~ModuleSoundOutput() override;

    void play(const std::vector<float>& samples, int sampleRate) override;
    void stop() override;
    bool isPlaying() const override;

private:
    LoadableModule::Loader<SoundModule> m_output;
};

} // namespace tarvo
