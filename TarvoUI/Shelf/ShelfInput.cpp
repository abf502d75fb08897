#include "ShelfInput.h"

#include "ItemLayer.h"
#include "MenuShortcuts.h"
#include "TarvoView.h"
#include "TarvoViewDelegate.h"

#include "TarvoCore/L10n.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

bool contains(const std::vector<QUuid>& list, const QUuid& id) {
    return std::find(list.begin(), list.end(), id) != list.end();
}

} // namespace

ShelfInput::ShelfInput(TarvoView& view) : m_view(view) {
    popUpMenu = [](QMenu& menu, QPoint globalPos) { menu.exec(globalPos); };
}

ShelfInput::~ShelfInput() = default;

bool ShelfInput::inCloseButton(Point point) const {
    const Point c = m_view.closeCenter();
    return Rect{c.x - closeHitSize / 2, c.y - closeHitSize / 2, closeHitSize, closeHitSize}
        .contains(point);
}

std::optional<QUuid> ShelfInput::firstSelected() const {
    const std::vector<QUuid>& selection = m_view.selection();
    return selection.empty() ? std::nullopt : std::optional<QUuid>(selection.front());
}

std::optional<QUuid> ShelfInput::currentAnchor() const {
    const std::vector<QUuid>& selection = m_view.selection();
    if (m_anchor && contains(selection, *m_anchor))
        return m_anchor;
    return selection.empty() ? std::nullopt : std::optional<QUuid>(selection.back());
}

// --- the pointer -------------------------------------------------------------

void ShelfInput::press(const Press& press) {
    const Point p = press.point;
    const std::optional<QUuid> plainBefore = std::exchange(m_plainPressItemID, std::nullopt);
    if (m_view.closeButtonVisible() && inCloseButton(p)) {
        m_closePressed = true;
        m_view.setClosePressed(true);
        return;
    }
    if (m_view.notice()) {
        if (const std::optional<Rect> chip = m_view.chipFrame()) {
            const Rect grown{chip->x - noticeHitMargin, chip->y - noticeHitMargin,
                             chip->width + 2 * noticeHitMargin, chip->height + 2 * noticeHitMargin};
            if (grown.contains(p)) {
                if (TarvoViewDelegate* delegate = m_view.delegate())
                    delegate->tarvoViewDidClickNotice(m_view);
                return;
            }
        }
    }
    const std::optional<QUuid> item = m_view.itemAt(p);
    m_mouseDownPoint = p;
    m_mouseDownItemID = item;
    if (!item) {
        m_view.select({});
        m_anchor.reset();
        if (p.y >= m_view.visibleBottom())
            m_barePressed = true;
        return;
    }
    if (m_pressedItemID != item) {
        releasePressedItem();
        m_pressedItemID = item;
        if (ItemLayer* layer = m_view.itemLayer(*item))
            layer->setPressed(true, motionReduced());
    }

    const ItemList& items = m_view.items();
    std::vector<QUuid> selection = m_view.selection();
    bool ranged = false;
    if (press.shift && !selection.empty()) {
        const std::optional<QUuid> anchor = currentAnchor();
        const std::optional<std::size_t> from = anchor ? m_view.indexOf(*anchor) : std::nullopt;
        const std::optional<std::size_t> to = m_view.indexOf(*item);
        if (from && to) {
            selection.clear();
            for (std::size_t i = std::min(*from, *to); i <= std::max(*from, *to); ++i)
                selection.push_back(items[i].id);
            ranged = true;
        }
    }
    if (!ranged) {
        if (press.command) {
            if (contains(selection, *item))
                std::erase(selection, *item);
            else
                selection.push_back(*item);
        } else if (!contains(selection, *item)) {
            selection = {*item};
        }
    }
    m_anchor = item;
    if (selection != m_view.selection())
        m_view.select(selection);
    if (press.shift || press.command)
        return;
    m_plainPressItemID = item;
    if (press.clickCount == 2 && plainBefore == item) {
        if (TarvoViewDelegate* delegate = m_view.delegate())
            delegate->tarvoViewDidActivate(m_view, *item);
    }
}

void ShelfInput::drag(Point point) {
    if (m_barePressed && m_mouseDownPoint && distance(point, *m_mouseDownPoint) > dragThreshold)
        m_barePressed = false;
    if (!m_mouseDownPoint || !m_mouseDownItemID ||
        distance(point, *m_mouseDownPoint) <= dragThreshold)
        return;
    const QUuid pressed = *m_mouseDownItemID;
    m_mouseDownPoint.reset();
    m_mouseDownItemID.reset();
    m_plainPressItemID.reset(); // a press that became a drag is no click
    releasePressedItem();
    const std::vector<QUuid>& selection = m_view.selection();
    const std::vector<QUuid> dragged =
        contains(selection, pressed) ? selection : std::vector<QUuid>{pressed};
    if (TarvoViewDelegate* delegate = m_view.delegate())
        delegate->tarvoView(m_view, dragged, QPointF(point.x, point.y));
}

void ShelfInput::release(Point point) {
    m_mouseDownPoint.reset();
    m_mouseDownItemID.reset();
    releasePressedItem();
    if (std::exchange(m_barePressed, false)) {
        if (TarvoViewDelegate* delegate = m_view.delegate())
            delegate->tarvoViewDidClickBareIsland(m_view);
    }
    if (std::exchange(m_closePressed, false)) {
        m_view.setClosePressed(false);
        if (m_view.closeButtonVisible() && inCloseButton(point)) {
            if (TarvoViewDelegate* delegate = m_view.delegate())
                delegate->tarvoViewDidRequestEscape(m_view);
        }
    }
}

void ShelfInput::releasePressedItem() {
    if (const std::optional<QUuid> pressed = std::exchange(m_pressedItemID, std::nullopt)) {
        if (ItemLayer* layer = m_view.itemLayer(*pressed))
            layer->setPressed(false, motionReduced());
    }
}

void ShelfInput::contextClick(Point point, QPoint globalPos) {
    m_plainPressItemID.reset();
    const std::optional<QUuid> item = m_view.itemAt(point);
    std::unique_ptr<QMenu> menu;
    if (item) {
        if (!contains(m_view.selection(), *item)) {
            m_anchor = item;
            m_view.select({*item});
        }
        menu = contextMenu(*item);
    } else if (TarvoViewDelegate* delegate = m_view.delegate()) {
        menu = delegate->tarvoViewContextMenuFor(m_view, std::nullopt);
    }
    showMenu(std::move(menu), globalPos);
}

void ShelfInput::showMenu(std::unique_ptr<QMenu> menu, QPoint globalPos) {
    if (!menu || menu->isEmpty())
        return;
    m_view.setShowingMenu(true);
    const MenuShortcuts shortcuts(*menu);
    popUpMenu(*menu, globalPos);
    m_view.setShowingMenu(false);
    m_view.refreshIslandHover();
}

// --- the item menu -----------------------------------------------------------

std::unique_ptr<QMenu> ShelfInput::contextMenu(const QUuid& id) {
    auto menu = std::make_unique<QMenu>();
    std::optional<Item> item;
    if (const std::optional<std::size_t> index = m_view.indexOf(id))
        item = m_view.items()[*index];
    auto entry = [&](const QString& title, void (ShelfInput::*action)(),
                     const QKeySequence& shortcut = {}) {
        QAction* added = menu->addAction(title);
        added->setShortcut(shortcut);
        QObject::connect(added, &QAction::triggered, menu.get(),
                         [this, action] { (this->*action)(); });
    };
    if (item && item->state.is<ItemState::Failed>()) {
        entry(L10n::itemRetry(), &ShelfInput::retrySelected);
        menu->addSeparator();
    }
    entry(L10n::contextQuickLook(), &ShelfInput::quickLookSelected, QKeySequence(Qt::Key_Space));
    entry(L10n::contextOpen(), &ShelfInput::openSelected,
          QKeySequence(Qt::ControlModifier | Qt::Key_Return));
    entry(L10n::contextRevealInFinder(), &ShelfInput::revealSelected,
          QKeySequence(Qt::ControlModifier | Qt::Key_R));
    menu->addSeparator();
    entry(L10n::contextCopy(), &ShelfInput::copySelected,
          QKeySequence(Qt::ControlModifier | Qt::Key_C));
    entry(L10n::contextCopyPath(), &ShelfInput::copyPathOfSelected,
          QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_C));
    menu->addSeparator();
    entry(item && item->pinned ? L10n::ctxUnpin() : L10n::ctxPin(), &ShelfInput::togglePinSelected,
          QKeySequence(Qt::ControlModifier | Qt::Key_P));
    if (item && item->sourceBundleID) {
        const QString name =
            appDisplayName ? appDisplayName(*item->sourceBundleID) : *item->sourceBundleID;
        entry(L10n::contextAddRule(name), &ShelfInput::addRuleForSelected);
        menu->addSeparator();
    }
    entry(L10n::contextRemove(), &ShelfInput::removeSelected, QKeySequence(Qt::Key_Backspace));

    if (TarvoViewDelegate* delegate = m_view.delegate()) {
        if (std::unique_ptr<QMenu> shelf = delegate->tarvoViewContextMenuFor(m_view, std::nullopt);
            shelf && !shelf->actions().isEmpty()) {
            menu->addSeparator();
            for (QAction* action : shelf->actions()) {
                shelf->removeAction(action);
                // The entry's owner goes with the menu it now belongs to.
                if (action->parent() == shelf.get())
                    action->setParent(menu.get());
                menu->addAction(action);
            }
        }
    }
    return menu;
}

// --- menu actions --------------------------------------------------------------

void ShelfInput::quickLookSelected() {
    if (TarvoViewDelegate* delegate = m_view.delegate())
        delegate->tarvoViewDidRequestQuickLookOf(m_view, m_view.selection());
}

void ShelfInput::removeSelected() {
    if (TarvoViewDelegate* delegate = m_view.delegate())
        delegate->tarvoViewDidRequestRemovalOf(m_view, m_view.selection());
}

void ShelfInput::copySelected() {
    if (TarvoViewDelegate* delegate = m_view.delegate())
        delegate->tarvoViewDidRequestCopyOf(m_view, m_view.selection(), false);
}

void ShelfInput::copyPathOfSelected() {
    if (TarvoViewDelegate* delegate = m_view.delegate())
        delegate->tarvoViewDidRequestCopyOf(m_view, m_view.selection(), true);
}

void ShelfInput::openSelected() {
    TarvoViewDelegate* delegate = m_view.delegate();
    if (const std::optional<QUuid> first = firstSelected(); first && delegate)
        delegate->tarvoViewDidActivate(m_view, *first);
}

void ShelfInput::revealSelected() {
    TarvoViewDelegate* delegate = m_view.delegate();
    if (const std::optional<QUuid> first = firstSelected(); first && delegate)
        delegate->tarvoViewDidRequestRevealOf(m_view, *first);
}

void ShelfInput::retrySelected() {
    TarvoViewDelegate* delegate = m_view.delegate();
    if (const std::optional<QUuid> first = firstSelected(); first && delegate)
        delegate->tarvoViewDidRequestRetryOf(m_view, *first);
}

void ShelfInput::addRuleForSelected() {
    TarvoViewDelegate* delegate = m_view.delegate();
    if (const std::optional<QUuid> first = firstSelected(); first && delegate)
        delegate->tarvoViewDidRequestRuleFor(m_view, *first);
}

void ShelfInput::togglePinSelected() {
    TarvoViewDelegate* delegate = m_view.delegate();
    if (const std::optional<QUuid> first = firstSelected(); first && delegate)
        delegate->tarvoViewDidTogglePinOf(m_view, *first);
}

// --- the keyboard ------------------------------------------------------------

void ShelfInput::moveSelection(int by) {
    const ItemList& items = m_view.items();
    if (items.empty())
        return;
    const std::optional<QUuid> anchor = currentAnchor();
    const std::optional<std::size_t> at = anchor ? m_view.indexOf(*anchor) : std::nullopt;
    std::size_t target = 0;
    if (at) {
        target =
            std::size_t(std::clamp<qsizetype>(qsizetype(*at) + by, 0, qsizetype(items.size()) - 1));
    } else {
        target = by < 0 ? items.size() - 1 : 0;
    }
    m_anchor = items[target].id;
    m_view.select({items[target].id});
}

bool ShelfInput::key(KeyAction action) {
    if (action == KeyAction::none)
        return false;
    if (action == KeyAction::moveLeft || action == KeyAction::moveRight) {
        moveSelection(action == KeyAction::moveLeft ? -1 : 1);
        return true;
    }
    TarvoViewDelegate* delegate = m_view.delegate();
    if (!delegate)
        return true;
    switch (action) {
    case KeyAction::copy:
        delegate->tarvoViewDidRequestCopyOf(m_view, m_view.selection(), false);
        break;
    case KeyAction::open:
        if (const std::optional<QUuid> first = firstSelected())
            delegate->tarvoViewDidActivate(m_view, *first);
        break;
    case KeyAction::quickLook:
        delegate->tarvoViewDidRequestQuickLookOf(m_view, m_view.selection());
        break;
    case KeyAction::remove:
        delegate->tarvoViewDidRequestRemovalOf(m_view, m_view.selection());
        break;
    case KeyAction::escape:
        delegate->tarvoViewDidRequestEscape(m_view);
        break;
    case KeyAction::undo:
        delegate->tarvoViewDidRequestUndo(m_view);
        break;
    case KeyAction::paste:
        delegate->tarvoViewDidRequestPaste(m_view);
        break;
    case KeyAction::moveLeft:
    case KeyAction::moveRight:
    case KeyAction::none:
        break;
    }
    return true;
}

// --- Qt's events ---------------------------------------------------------------

void ShelfInput::mousePressEvent(QMouseEvent& event) {
    const Point point = m_view.fromQt(event.position());
    if (event.button() == Qt::RightButton) {
        contextClick(point, event.globalPosition().toPoint());
        return;
    }
    if (event.button() != Qt::LeftButton)
        return;
    // A press that Qt reports as the second of a double click.
    const int clicks = event.type() == QEvent::MouseButtonDblClick ? 2 : 1;
    press({point, bool(event.modifiers() & Qt::ShiftModifier),
           bool(event.modifiers() & Qt::ControlModifier), clicks});
}

void ShelfInput::mouseMoveEvent(QMouseEvent& event) {
    if (event.buttons() & Qt::LeftButton)
        drag(m_view.fromQt(event.position()));
}

void ShelfInput::mouseReleaseEvent(QMouseEvent& event) {
    if (event.button() == Qt::LeftButton)
        release(m_view.fromQt(event.position()));
}

void ShelfInput::keyPressEvent(QKeyEvent& event) {
    if (event.key() == Qt::Key_Menu) {
        // The keyboard's menu opens on the last selected item, else on the island.
        const std::optional<QUuid> anchor = currentAnchor();
        Point at{m_view.islandRect().midX(), m_view.islandRect().midY()};
        if (const std::optional<Rect> frame = anchor ? m_view.itemFrame(*anchor) : std::nullopt)
            at = {frame->midX(), frame->midY()};
        contextClick(at, m_view.mapToGlobal(m_view.toQt(at).toPoint()));
        event.accept();
        return;
    }
    if (key(KeyActions::forEvent(event)))
        event.accept();
    else
        event.ignore();
}

} // namespace tarvo
