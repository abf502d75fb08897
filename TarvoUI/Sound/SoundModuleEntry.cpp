// The sound module's one entry: outputs through Qt Multimedia.
#include "QtSoundOutput.h"
#include "SoundModule.h"

extern "C" __attribute__((visibility("default"))) const tarvo::SoundModule* tarvo_sound_module() {
    return tarvo::LoadableModule::makerTable<tarvo::SoundModule, tarvo::QtSoundOutput>();
}
