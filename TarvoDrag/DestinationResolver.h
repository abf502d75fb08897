#pragma once

#include "Rect.h"
#include "TarvoCore/AppCategoryMap.h"
#include "TarvoCore/Date.h"
#include "TarvoCore/RuleModel.h"

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace tarvo {

class Accessibility;
class WindowLister;
class Workspace;
struct WindowInfo;

// Finds the application under the pointer while items are dragged out of the
// shelf, its category, and whether the pointer rests on an editing pane or on
// a list. Called at every pointer move, so it reuses its last answer for a
// short time and distance. Main thread only.
class DestinationResolver final {
public:
    // The interval the shell passes.
    static constexpr double throttle = 0.05;
    // How far (in points, on each axis) the pointer may move before a cached
    // answer no longer holds.
    static constexpr double reuseDistance = 4.0;

    // None of the platform objects is owned; all must outlive the resolver.
    DestinationResolver(WindowLister& lister, AppCategoryMap categories, double throttleInterval,
                        Workspace& workspace, Accessibility& accessibility);

    AppCategoryMap categories;
    bool editorPaneDetectionEnabled = false;

    // `point` in the window list's space: top-left origin, y downwards, points.
    ResolvedDestination resolve(Point point, Date now);
    void invalidate();

    // A point in screen space (origin at the bottom left of the primary
    // screen, y upwards) in the window list's space, given the screens' frames
    // in screen space, the primary one first. Unchanged without screens.
    static Point flippedPoint(Point point, const std::vector<Rect>& screenFrames);

    // Whether other applications' elements can be asked about. Never prompts.
    bool hasAccessibilityPermission() const;

    qint32 ownPID() const { return m_ownPID; }
    double throttleInterval() const { return m_throttleInterval; }

private:
    struct CachedApplication {
        std::optional<QString> bundleID;
        // The process as it was when asked: the entry holds only while the
        // same process runs under that number.
        std::optional<quint64> processIdentity;
    };

    ResolvedDestination uncachedResolve(Point point);
    std::optional<QString> bundleID(const WindowInfo& window);
    std::optional<bool> isOverEditorPane(Point point, qint32 pid) const;

    WindowLister& m_lister;
    Workspace& m_workspace;
    Accessibility& m_accessibility;
    double m_throttleInterval;
    QHash<qint32, CachedApplication> m_pidToBundleID;
    std::optional<Date> m_lastResolvedAt;
    ResolvedDestination m_lastResult = ResolvedDestination::unknown();
    std::optional<Point> m_lastPoint;
    qint32 m_ownPID;
};

} // namespace tarvo
