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
        if (void* entry = LoadableModule::entry(SoundModule::fileName, SoundModule::entryName)) {
            const SoundModule* module = reinterpret_cast<SoundModuleEntry>(entry)();
            if (module && module->version == SoundModule::currentVersion)
                m_output.reset(module->makeOutput());
            else
                Log::ui().error(QStringLiteral("%1 is from another build of Tarvo")
                                    .arg(QLatin1String(SoundModule::fileName)));
        }
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
