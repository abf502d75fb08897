#pragma once

#include <QString>

#include <memory>

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

// The table of a module that makes one thing: a module's table derives from
// it and names its `fileName`, `entryName` and `currentVersion`.
template <typename Product> struct MakerTable {
    using Made = Product;

    int version;
    Product* (*make)();
};

// The table that a module's entry hands out, making a `Concrete` as the
// product of `Module`. Called in the module.
template <typename Module, typename Concrete> const Module* makerTable() {
    static constexpr Module table{
        {Module::currentVersion, []() -> typename Module::Made* { return new Concrete; }}};
    return &table;
}

// What a module with a MakerTable makes, made the first time it is asked
// for: the module is loaded then and only then, and a module that is missing
// or from another build is logged once and leaves nothing ever after. The
// thread that uses what was made.
template <typename Module> class Loader final {
public:
    using Made = typename Module::Made;

    explicit Loader(const Logger& log) : m_log(log) {}

    // What the module made, loading it the first time; nullptr without it.
    Made* get() {
        if (!m_looked) {
            m_looked = true;
            if (const Module* module = table<Module>(m_log))
                m_made.reset(module->make());
        }
        return m_made.get();
    }

    // What was made so far, never loading the module.
    Made* made() const { return m_made.get(); }

private:
    const Logger& m_log;
    std::unique_ptr<Made> m_made;
    bool m_looked = false;
};

} // namespace tarvo::LoadableModule
