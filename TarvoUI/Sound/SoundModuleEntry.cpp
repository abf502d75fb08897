// The sound module's one entry: outputs through Qt Multimedia.
#include "QtSoundOutput.h"
#include "SoundModule.h"

namespace tarvo {

namespace {

SoundOutput* makeOutput() {
    return new QtSoundOutput;
}

constexpr SoundModule module{SoundModule::currentVersion, &makeOutput};

} // namespace

} // namespace tarvo

extern "C" __attribute__((visibility("default"))) const tarvo::SoundModule* tarvo_sound_module() {
    return &tarvo::module;
}
