#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace tarvo {

// The tray icon and its menu of five commands: open the shelf, undo the last
// delivery, clear the shelf, settings and quit. It knows nothing of the
// shelf: each command is a closure of its owner. The menu is filled afresh
// each time it is about to open. Where the desktop has no tray, the icon
// simply never shows; the hotkey and a second start still open the shelf.
// Main thread.
class MenuBarController final : public QObject {
public:
    struct Actions {
        std::function<void()> open;
        std::function<void()> undo;
        std::function<void()> clear;
        std::function<void()> settings;
        std::function<void()> quit;
    };

    // A headless controller never makes an icon, whatever is called.
    explicit MenuBarController(Actions actions, bool headless = false);
    ~MenuBarController() override;

    // Makes the icon and its menu unless they exist or headless.
    void show();
    // Removes the icon; a later show() makes a new icon and menu.
    void hide();
    void setVisible(bool visible);
    bool isVisible() const { return m_statusItem != nullptr; }

    // A new menu filled with the five commands, this controller its target;
    // with the key equivalents, which act while it is open, unless the tray
    // draws it itself.
    std::unique_ptr<QMenu> makeMenu(bool withKeys = true);

    // The tray is a panel that speaks StatusNotifierItem: it draws the menu
    // handed to it for a right click, in its own style, where our key
    // equivalents cannot act; a click of the other button still opens ours.
    // Takes effect at the next show().
    void setPanelDrawsMenu(bool panelDrawsMenu) { m_panelDrawsMenu = panelDrawsMenu; }
    QMenu* panelMenu() const { return m_panelMenu.get(); }

    QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
    QMenu* menu() const { return m_menu.get(); }

    void openTarvo() { call(m_actions.open); }
    void undoLastDrop() { call(m_actions.undo); }
    void clearTarvo() { call(m_actions.clear); }
    void openSettings() { call(m_actions.settings); }
    void quit() { call(m_actions.quit); }

private:
    static void call(const std::function<void()>& action) {
        if (action)
            action();
    }
    void populate(QMenu& menu, bool withKeys);

    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QMenu> m_panelMenu;
    bool m_panelDrawsMenu = false;
    Actions m_actions;
    bool m_headless;
};

} // namespace tarvo
