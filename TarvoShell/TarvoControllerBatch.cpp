// The batch question before several items go out converted.
#include "TarvoController.h"

#include "TarvoCore/Preferences.h"
#include "TarvoPlatform/DisplayOptions.h"
#include "TarvoPlatform/Screens.h"
#include "BatchConfirmWindow.h"
#include "TarvoPanel.h"
#include "TarvoView.h"

namespace tarvo {

namespace {

QString formatName(const Delivery& delivery) {
    if (const ImageOptions* image = delivery.imageOptions())
        return image->format == ImageFormat::png ? QStringLiteral("PNG") : QStringLiteral("JPEG");
    return delivery.badgeText();
}

} // namespace

bool TarvoController::askBatchQuestion(int itemCount, const Delivery& delivery,
                                       const std::optional<QString>& rename,
                                       std::function<void(bool convert)> answer) {
    if (!BatchConfirmation::isNeeded(itemCount, delivery, rename, m_preferences.confirmBatch()))
        return false;
    if (!m_batchWindow) {
        DisplayOptions* options = m_platform.displayOptions;
        m_batchWindow = std::make_unique<BatchConfirmWindow>(
            [options] { return options && options->reduceMotion(); });
    }
    const ImageOptions* image = delivery.imageOptions();
    const BatchConfirmation confirmation{itemCount, formatName(delivery),
                                         image ? image->maxPixels : std::nullopt};
    // Under the island, where the user looks while dragging out of it.
    const Rect island = m_view->islandRect();
    const Rect& panel = m_panel->frame();
    const QRect below = m_platform.screens.toWindowGeometry(
        {panel.x + island.x, panel.y + island.y, island.width, island.height});
    m_batchWindow->present(confirmation, below, [answer](BatchConfirmation::Choice choice) {
        answer(choice == BatchConfirmation::Choice::deliver);
    });
    return true;
}

} // namespace tarvo
