#pragma once

#include <QString>

namespace tarvo {

// Opening and showing files the way the desktop does.
class FileViewer {
public:
    virtual ~FileViewer() = default;
    // Opens the file with the desktop's default application for it.
    virtual void open(const QString& path) = 0;
    // Shows the file selected in the file manager.
    virtual void reveal(const QString& path) = 0;
};

} // namespace tarvo
