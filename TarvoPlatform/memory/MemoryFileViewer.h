#pragma once

#include "TarvoPlatform/FileViewer.h"

#include <QStringList>

namespace tarvo {

// Notes what would have been opened and shown.
class MemoryFileViewer final : public FileViewer {
public:
    void open(const QString& path) override { opened << path; }
    void reveal(const QString& path) override { revealed << path; }

    QStringList opened;
    QStringList revealed;
};

} // namespace tarvo
