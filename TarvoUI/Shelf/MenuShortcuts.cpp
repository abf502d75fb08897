#include "MenuShortcuts.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

namespace tarvo {

MenuShortcuts::MenuShortcuts(QMenu& menu) : m_menu(menu) {
    m_menu.installEventFilter(this);
}

MenuShortcuts::~MenuShortcuts() {
    m_menu.removeEventFilter(this);
}

QKeySequence MenuShortcuts::sequence(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers =
        event.modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const Qt::Key key = event.key() == Qt::Key_Enter ? Qt::Key_Return : Qt::Key(event.key());
    return QKeySequence(QKeyCombination(modifiers, key));
}

bool MenuShortcuts::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_menu || event->type() != QEvent::KeyPress)
        return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    // Qt closes a menu when Alt goes down, to move to a menu bar; this menu
    // has none, and Alt is on its way to a shortcut such as Ctrl+Alt+C.
    if (key.key() == Qt::Key_Alt)
        return true;
    const QKeySequence pressed = sequence(key);
    for (QAction* action : m_menu.actions()) {
        if (action->isSeparator() || !action->isEnabled() || action->shortcut().isEmpty() ||
            action->shortcut() != pressed)
            continue;
        // As a chosen entry: the menu closes, then the entry acts.
        m_menu.hide();
        action->trigger();
        return true;
    }
    return false;
}

} // namespace tarvo
