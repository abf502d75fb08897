#pragma once

#include "FileViewer.h"

namespace tarvo {

// Opens through the desktop's default applications; reveals through the file
// manager's D-Bus interface (org.freedesktop.FileManager1), falling back to
// opening the containing folder where no file manager answers.
class DesktopFileViewer final : public FileViewer {
public:
    // How long a running file manager may take to answer before its folder
    // is opened instead.
    static constexpr int defaultShowItemsDeadlineMs = 3000;

    explicit DesktopFileViewer(int showItemsDeadlineMs = defaultShowItemsDeadlineMs);

    void open(const QString& path) override;
    void reveal(const QString& path) override;

    // Opens `folder` with the desktop's default application for folders
    // (xdg-open, else gio open, else Qt's own guess); false when none would.
    static bool openFolder(const QString& folder);

private:
    int m_showItemsDeadlineMs;
};

} // namespace tarvo
