#pragma once

#include "FileViewer.h"

namespace tarvo {

// Opens through the desktop's default applications; reveals through the file
// manager's D-Bus interface (org.freedesktop.FileManager1), falling back to
// opening the containing folder where no file manager answers.
class DesktopFileViewer final : public FileViewer {
public:
    void open(const QString& path) override;
    void reveal(const QString& path) override;
};

} // namespace tarvo
