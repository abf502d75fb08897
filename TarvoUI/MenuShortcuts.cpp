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
    const QKeySequence pressed = sequence(static_cast<const QKeyEvent&>(*event));
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
