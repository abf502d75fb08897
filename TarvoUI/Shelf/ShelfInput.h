#pragma once

#include "KeyAction.h"
#include "Rect.h"

#include "TarvoCore/Item.h"

#include <QPoint>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QKeyEvent;
class QMenu;
class QMouseEvent;

namespace tarvo {

class TarvoView;

// The shelf's pointer and keyboard: turns presses, drags, right clicks and
// keys on the view into selection changes and into calls of the view's
// delegate. It keeps nothing beyond the press in progress; the selection
// lives in the view. Main thread only.
class ShelfInput final {
public:
    // Pointer travel, in points, beyond which a press becomes a drag.
    static constexpr double dragThreshold = 3.0;
    static constexpr double closeHitSize = 28.0;
    static constexpr double noticeHitMargin = 4.0;

    explicit ShelfInput(TarvoView& view);
    ~ShelfInput();
    ShelfInput(const ShelfInput&) = delete;
    ShelfInput& operator=(const ShelfInput&) = delete;

    // One press, in view coordinates. `command` is Ctrl on this desktop; the
    // click count is 2 for the second press of a double click, which opens
    // the item only when both presses landed on it without Shift or Ctrl.
    struct Press {
        Point point;
        bool shift = false;
        bool command = false;
        int clickCount = 1;
    };
    void press(const Press& press);
    void drag(Point point);
    void release(Point point);
    // A context click at `point`; `globalPos` is where the menu pops up.
    void contextClick(Point point, QPoint globalPos);
    // True when the key was taken; false sends it on.
    bool key(KeyAction action);

    // The Qt events the view hands over.
    void mousePressEvent(QMouseEvent& event);
    void mouseMoveEvent(QMouseEvent& event);
    void mouseReleaseEvent(QMouseEvent& event);
    void keyPressEvent(QKeyEvent& event);

    // The context menu of one item, its entries acting on the selection.
    std::unique_ptr<QMenu> contextMenu(const QUuid& item);
    void moveSelection(int by);

    // The menu actions, each on the selection as it is when chosen.
    void quickLookSelected();
    void openSelected();
    void revealSelected();
    void copySelected();
    void copyPathOfSelected();
    void togglePinSelected();
    void addRuleForSelected();
    void removeSelected();
    void retrySelected();

    // Shows a context menu and returns once it is closed; tests look at the
    // menu instead. By default the menu pops up at `globalPos`.
    std::function<void(QMenu& menu, QPoint globalPos)> popUpMenu;
    // The display name of an application; the identifier itself when unknown.
    std::function<QString(const QString& bundleID)> appDisplayName;
    // Whether the desktop asks for less motion, read at the moment of use.
    std::function<bool()> reduceMotion;

    // The press in progress.
    const std::optional<Point>& mouseDownPoint() const { return m_mouseDownPoint; }
    const std::optional<QUuid>& mouseDownItemID() const { return m_mouseDownItemID; }
    const std::optional<QUuid>& pressedItemID() const { return m_pressedItemID; }
    bool closePressed() const { return m_closePressed; }
    bool barePressed() const { return m_barePressed; }
    // The item the last click landed on, where a Shift-click extends from,
    // kept apart from the selection, whose order snapshots may change.
    const std::optional<QUuid>& anchor() const { return m_anchor; }

    // Lets go of the item drawn pressed, as after a drag that the window
    // system ended without telling the view.
    void releasePressedItem();

private:
    bool inCloseButton(Point point) const;
    std::optional<QUuid> firstSelected() const;
    std::optional<QUuid> currentAnchor() const;
    void showMenu(std::unique_ptr<QMenu> menu, QPoint globalPos);
    bool motionReduced() const { return reduceMotion && reduceMotion(); }

    TarvoView& m_view;
    // The item the last press landed on without Shift or Ctrl. Qt counts a
    // second press as a double click by time and pointer travel alone, yet
    // the items may move under a still pointer, and a modified press only
    // changes the selection.
    std::optional<QUuid> m_plainPressItemID;
    std::optional<Point> m_mouseDownPoint;
    std::optional<QUuid> m_mouseDownItemID;
    std::optional<QUuid> m_pressedItemID;
    bool m_closePressed = false;
    bool m_barePressed = false;
    std::optional<QUuid> m_anchor;
};

} // namespace tarvo
