#pragma once

#include "TarvoCore/Item.h"

#include <QWidget>

#include <functional>
#include <vector>

namespace tarvo {
class DropPromises;
class DropReceiver;
} // namespace tarvo

namespace tarvo::test {

// A window that takes drops the way the shelf does: it accepts what the
// accepted types allow and hands the drop's data to a drop receiver.
class DropTargetWindow final : public QWidget {
public:
    DropTargetWindow(DropReceiver& receiver, DropPromises& promises);

    // What each drop produced, in order.
    const std::vector<std::vector<Item>>& drops() const { return m_drops; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    DropReceiver& m_receiver;
    DropPromises& m_promises;
    std::vector<std::vector<Item>> m_drops;
};

} // namespace tarvo::test
