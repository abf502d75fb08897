#pragma once

#include <QString>

namespace tarvo {
class Logger;
}

namespace tarvo::LoadableModule {

// The folder that holds the program's loadable modules: fixed relative to the
// folder of the running program, the same in the build tree as installed.
QString folder();

// Loads `fileName` from that folder (a module loaded before is not loaded
// again) and gives the address of its function `entryName`; nullptr when
// either is missing, with the reason logged. The module stays loaded for the
// life of the process. Any thread.
void* entry(const char* fileName, const char* entryName);

// Logs to `log` that module `fileName` came from another build.
void logOtherBuild(const Logger& log, const char* fileName);

// The table that the module `Table::fileName` hands back from its entry
// `Table::entryName`, taking `const Table* ()`; nullptr, with the reason
// logged (to `log` for a table of another version), when the module or its
// entry is missing or the module is from another build. Any thread.
template <typename Table> const Table* table(const Logger& log) {
    void* function = entry(Table::fileName, Table::entryName);
    if (!function)
        return nullptr;
    const Table* found = reinterpret_cast<const Table* (*)()>(function)();
    if (!found || found->version != Table::currentVersion) {
        logOtherBuild(log, Table::fileName);
        return nullptr;
    }
    return found;
}

} // namespace tarvo::LoadableModule
