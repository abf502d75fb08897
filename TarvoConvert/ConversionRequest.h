#pragma once

#include "TarvoCore/Date.h"
#include "TarvoCore/Item.h"
#include "TarvoCore/RuleModel.h"

#include <QString>

#include <optional>

namespace tarvo {

// One conversion asked of the engine. Paths are absolute local paths.
struct ConversionRequest {
    Item item;
    // The item store's root; the item's stored file lies below it.
    QString containerRoot;
    Delivery delivery = Delivery::original();
    // The rule's rename template; absent or empty means no renaming.
    std::optional<QString> rename = std::nullopt;
    // Zero-based position of the item in its batch, and the batch's size.
    int index = 0;
    int batchCount = 1;
    // Display name of the destination application, for "{app}".
    std::optional<QString> destinationApp = std::nullopt;
    // Where new files go when no exact destination is given.
    QString workDirectory;
    // Exact output location, used unchanged: no folder is made, no free name sought.
    std::optional<QString> destinationURL = std::nullopt;
    // Keeps an image's location even when the image options strip it.
    bool keepMetadata = false;
    // Time of the request, for "{date}" and "{time}".
    Date date;
};

} // namespace tarvo
