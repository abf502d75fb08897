#include "DesktopModule.h"

#include "TarvoCore/LoadableModule.h"
#include "TarvoCore/Log.h"

namespace tarvo {

const DesktopModule* desktopModule() {
    static const DesktopModule* const found = LoadableModule::table<DesktopModule>(Log::core());
    return found;
}

} // namespace tarvo
