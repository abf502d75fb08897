#include "DropTargetWindow.h"

#include "TarvoDrag/AcceptedTypes.h"
#include "TarvoDrag/DropReceiver.h"
#include "TarvoPlatform/MimePasteboard.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace tarvo::test {

DropTargetWindow::DropTargetWindow(DropReceiver& receiver, DropPromises& promises)
    : m_receiver(receiver), m_promises(promises) {
    setWindowTitle(QStringLiteral("drop target"));
    setAcceptDrops(true);
    resize(300, 220);
}

void DropTargetWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (AcceptedTypes::canAccept(MimePasteboard(*event->mimeData())))
        event->acceptProposedAction();
}

void DropTargetWindow::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
}

void DropTargetWindow::dropEvent(QDropEvent* event) {
    const MimePasteboard pasteboard(*event->mimeData(), &m_promises);
    m_drops.push_back(m_receiver.accept(pasteboard, std::nullopt));
    event->acceptProposedAction();
}

} // namespace tarvo::test
