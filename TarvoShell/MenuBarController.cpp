#include "MenuBarController.h"

#include "TarvoCore/L10n.h"
#include "IconRenderer.h"

#include <QCursor>
#include <QHash>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <algorithm>

namespace tarvo {

namespace {

// A popup menu takes the keyboard while open, and Qt's shortcut map does not
// look into it: the commands' key equivalents are matched here.
class CommandMenu final : public QMenu {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QKeySequence pressed(event->keyCombination());
        for (QAction* action : actions()) {
            if (!action->shortcut().isEmpty() && action->shortcut() == pressed) {
                close();
                action->trigger();
                return;
            }
        }
        QMenu::keyPressEvent(event);
    }
};

} // namespace

MenuBarController::MenuBarController(Actions actions, bool headless)
    : m_actions(std::move(actions)), m_headless(headless) {}

MenuBarController::~MenuBarController() {
    hide();
}

void MenuBarController::show() {
    if (m_headless || m_statusItem)
        return;
    m_menu = makeMenu();
    m_statusItem = std::make_unique<QSystemTrayIcon>(IconRenderer::tileIcon());
    m_statusItem->setToolTip(QStringLiteral("Tarvo"));
    // Both clicks open this one menu of ours, where the key equivalents act,
    // unless the panel draws a menu of its own for the right click: that one
    // lists no keys, as they would do nothing there.
    if (m_panelDrawsMenu) {
        m_panelMenu = makeMenu(false);
        m_statusItem->setContextMenu(m_panelMenu.get());
    }
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                const bool ours = reason == QSystemTrayIcon::Trigger ||
                                  (reason == QSystemTrayIcon::Context && !m_panelMenu);
                if (ours && m_menu && !m_menu->isVisible())
                    m_menu->popup(QCursor::pos());
            });
    m_statusItem->show();
}

void MenuBarController::hide() {
    if (!m_statusItem)
        return;
    m_statusItem->hide();
    m_statusItem.reset();
    m_menu.reset();
    m_panelMenu.reset();
}

void MenuBarController::setVisible(bool visible) {
    if (visible)
        show();
    else
        hide();
}

std::unique_ptr<QMenu> MenuBarController::makeMenu(bool withKeys) {
    std::unique_ptr<QMenu> menu = std::make_unique<CommandMenu>();
    QMenu* raw = menu.get();
    connect(raw, &QMenu::aboutToShow, this, [this, raw, withKeys] { populate(*raw, withKeys); });
    populate(*raw, withKeys);
    return menu;
}

void MenuBarController::populate(QMenu& menu, bool withKeys) {
    menu.clear();
    struct Command {
        QString title;
        void (MenuBarController::*action)();
        QKeySequence key;
    };
    const Command commands[] = {
        {L10n::menuOpen(), &MenuBarController::openTarvo, {}},
        {L10n::menuUndo(), &MenuBarController::undoLastDrop, QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {L10n::menuClear(), &MenuBarController::clearTarvo, {}},
        {L10n::menuSettings(), &MenuBarController::openSettings,
         QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {L10n::menuQuit(), &MenuBarController::quit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    for (const Command& command : commands) {
        QAction* item = menu.addAction(command.title);
        if (withKeys)
            item->setShortcut(command.key);
        // Queued: the menu closes before a command opens a window or quits.
        connect(item, &QAction::triggered, this, command.action, Qt::QueuedConnection);
    }
}

} // namespace tarvo
