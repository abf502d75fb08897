#include "ModuleSoundOutput.h"

#include "SoundModule.h"

#include "TarvoCore/LoadableModule.h"
#include "TarvoCore/Log.h"

namespace tarvo {

ModuleSoundOutput::ModuleSoundOutput() = default;

ModuleSoundOutput::~ModuleSoundOutput() = default;

void ModuleSoundOutput::play(const std::vector<float>& samples, int sampleRate) {
    if (!m_looked) {
        m_looked = true;
        if (const SoundModule* module = LoadableModule::table<SoundModule>(Log::ui()))
            m_output.reset(module->makeOutput());
    }
    if (m_output)
        m_output->play(samples, sampleRate);
}

void ModuleSoundOutput::stop() {
    if (m_output)
        m_output->stop();
}

bool ModuleSoundOutput::isPlaying() const {
    return m_output && m_output->isPlaying();
}

} // namespace tarvo
