#include "Vips.h"

#include "TarvoCore/Json.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cstdio>
#include <mutex>

namespace tarvo::Vips {

void start() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("tarvo") != 0)
            return;
        vips_concurrency_set(1);
        vips_cache_set_max(0);
        vips_cache_set_max_mem(0);
        vips_cache_set_max_files(0);
    });
}

QString takeError() {
    char* copied = vips_error_buffer_copy();
    QString text = QString::fromUtf8(copied).trimmed();
    g_free(copied);
    return text;
}

QString temporarySibling(const QString& destination) {
    const QFileInfo info(destination);
    return info.path() + QStringLiteral("/.tarvo-write-") + json::uuidText(QUuid::createUuid()) +
           QStringLiteral(".tmp");
}

bool commit(const QString& temporary, const QString& destination) {
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(destination).constData()) == 0)
        return true;
    QFile::remove(temporary);
    return false;
}

} // namespace tarvo::Vips
