#pragma once

#include "TarvoCore/LoadableModule.h"

namespace tarvo {

class UpdateTransport;

// What the network module hands the program: a maker of update transports
// over Qt Network.
struct NetworkModule : LoadableModule::MakerTable<UpdateTransport> {
    // Raised whenever UpdateTransport or this table changes shape, so that a
    // module left from another build is refused rather than called.
    static constexpr int currentVersion = 1;
    static constexpr const char* fileName = "tarvo-network.so";
    static constexpr const char* entryName = "tarvo_network_module";
};

} // namespace tarvo
