#include "ModuleSoundOutput.h"

#include "TarvoCore/Log.h"

namespace tarvo {

ModuleSoundOutput::ModuleSoundOutput() : m_output(Log::ui()) {}

ModuleSoundOutput::~ModuleSoundOutput() = default;

void ModuleSoundOutput::play(const std::vector<float>& samples, int sampleRate) {
    if (SoundOutput* output = m_output.get())
        output->play(samples, sampleRate);
}

void ModuleSoundOutput::stop() {
    if (SoundOutput* output = m_output.made())
        output->stop();
}

bool ModuleSoundOutput::isPlaying() const {
    const SoundOutput* output = m_output.made();
    return output && output->isPlaying();
}

} // namespace tarvo
