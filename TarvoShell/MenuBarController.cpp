#include "MenuBarController.h"

#include "TarvoCore/L10n.h"
#include "TarvoUI/IconRenderer.h"

#include <QCursor>
#include <QHash>
#include <QIcon>
#include <QIconEngine>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <algorithm>

namespace tarvo {

namespace {

// The app tile, drawn at the size a tray asks for when it asks: a session
// without a tray never draws it.
class TileIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->drawImage(rect, IconRenderer::render(std::min(rect.width(), rect.height())));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        if (side < 1)
            return {};
        const auto found = m_drawn.constFind(side);
        if (found != m_drawn.constEnd())
            return *found;
        const QPixmap drawn = QPixmap::fromImage(IconRenderer::render(side));
        m_drawn.insert(side, drawn);
        return drawn;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }
    QIconEngine* clone() const override { return new TileIconEngine(*this); }

private:
    QHash<int, QPixmap> m_drawn;
};

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
    m_statusItem = std::make_unique<QSystemTrayIcon>(QIcon(new TileIconEngine));
    m_statusItem->setToolTip(QStringLiteral("Tarvo"));
    m_statusItem->setContextMenu(m_menu.get());
    // A plain click opens the same menu, as a right click does.
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && m_menu)
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
}

void MenuBarController::setVisible(bool visible) {
    if (visible)
        show();
    else
        hide();
}

std::unique_ptr<QMenu> MenuBarController::makeMenu() {
    std::unique_ptr<QMenu> menu = std::make_unique<CommandMenu>();
    QMenu* raw = menu.get();
    connect(raw, &QMenu::aboutToShow, this, [this, raw] { populate(*raw); });
    populate(*raw);
    return menu;
}

void MenuBarController::populate(QMenu& menu) {
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
        item->setShortcut(command.key);
        // Queued: the menu closes before a command opens a window or quits.
        connect(item, &QAction::triggered, this, command.action, Qt::QueuedConnection);
    }
}

} // namespace tarvo
