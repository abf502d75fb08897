#pragma once

#include <QKeySequence>
#include <QObject>

class QKeyEvent;
class QMenu;

namespace tarvo {

// Lets the shortcuts a pop-up menu shows act while it is open, on the entry
// they belong to. Qt finds an action's shortcut through the window the action
// belongs to, and a context menu of its own has none, so without this the
// keys it shows would do nothing. Lives while the menu is shown.
class MenuShortcuts final : public QObject {
public:
    explicit MenuShortcuts(QMenu& menu);
    ~MenuShortcuts() override;
    MenuShortcuts(const MenuShortcuts&) = delete;
    MenuShortcuts& operator=(const MenuShortcuts&) = delete;

    // The key with its modifiers as a shortcut names them: the keypad's Enter
    // is Return, and the keypad and lock keys never take part.
    static QKeySequence sequence(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu& m_menu;
};

} // namespace tarvo
