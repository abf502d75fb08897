#pragma once

#include "TarvoCore/LoadableModule.h"

namespace tarvo {

class SoundOutput;

// What the sound module hands the program: a maker of outputs on the
// desktop's audio server.
struct SoundModule : LoadableModule::MakerTable<SoundOutput> {
    // Raised whenever SoundOutput or this table changes shape, so that a
    // module left from another build is refused rather than called.
    static constexpr int currentVersion = 1;
    static constexpr const char* fileName = "tarvo-sound.so";
    static constexpr const char* entryName = "tarvo_sound_module";
};

} // namespace tarvo
