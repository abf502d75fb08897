#pragma once

#include "FilePromiseReceiver.h"

#include <memory>
#include <vector>

class QMimeData;

namespace tarvo {

// What the platform knows of the drop under way beyond its data: the file
// promises its source makes. Asked while the drop is being handled.
class DropPromises {
public:
    virtual ~DropPromises() = default;
    virtual std::vector<std::shared_ptr<FilePromiseReceiver>> receivers(const QMimeData& data) = 0;
};

} // namespace tarvo
