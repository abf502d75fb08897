#include "LoadableModule.h"

#include "Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace tarvo::LoadableModule {

QString folder() {
    // The program's own file, whatever folder it was started from.
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QDir::cleanPath(QFileInfo(program).path() + u'/' +
                           QLatin1String(TARVO_MODULE_DIR_FROM_PROGRAM));
}

void* entry(const char* fileName, const char* entryName) {
    const QString path = folder() + u'/' + QLatin1String(fileName);
    // Bound now, so a module that does not fit fails here rather than at a
    // call; local, so its libraries' symbols never stand in for ours.
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        Log::core().error(QStringLiteral("could not load %1: %2")
                              .arg(path, QString::fromLocal8Bit(reason ? reason : "")));
        return nullptr;
    }
    void* function = ::dlsym(handle, entryName);
    if (!function) {
        Log::core().error(QStringLiteral("%1 has no %2").arg(path, QString::fromLatin1(entryName)));
    }
    return function;
}

void logOtherBuild(const Logger& log, const char* fileName) {
    log.error(QStringLiteral("%1 is from another build of Tarvo").arg(QLatin1String(fileName)));
}

} // namespace tarvo::LoadableModule
