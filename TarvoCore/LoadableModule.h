#pragma once

#include <QString>

namespace tarvo::LoadableModule {

// The folder that holds the program's loadable modules: fixed relative to the
// folder of the running program, the same in the build tree as installed.
QString folder();

// Loads `fileName` from that folder (a module loaded before is not loaded
// again) and gives the address of its function `entryName`; nullptr when
// either is missing, with the reason logged. The module stays loaded for the
// life of the process. Any thread.
void* entry(const char* fileName, const char* entryName);

} // namespace tarvo::LoadableModule
