#include "DestinationResolver.h"

#include "TarvoPlatform/Accessibility.h"
#include "TarvoPlatform/WindowList.h"
#include "TarvoPlatform/Workspace.h"

#include <QCoreApplication>
#include <QThread>

#include <cmath>
#include <unistd.h>

namespace tarvo {

namespace {

bool onMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace

DestinationResolver::DestinationResolver(WindowLister& lister, AppCategoryMap categories,
                                         double throttleInterval, Workspace& workspace,
                                         Accessibility& accessibility)
    : categories(std::move(categories)), m_lister(lister), m_workspace(workspace),
      m_accessibility(accessibility), m_throttleInterval(throttleInterval),
      m_ownPID(static_cast<qint32>(::getpid())) {}

ResolvedDestination DestinationResolver::resolve(Point point, Date now) {
    if (m_lastResolvedAt && m_lastPoint) {
        // A clock that went backwards counts as within the interval.
        const double elapsed = now.secondsSince(*m_lastResolvedAt);
        if (elapsed < m_throttleInterval && std::abs(point.x - m_lastPoint->x) <= reuseDistance &&
            std::abs(point.y - m_lastPoint->y) <= reuseDistance)
            return m_lastResult;
    }
    const ResolvedDestination result = uncachedResolve(point);
    m_lastResolvedAt = now;
    m_lastPoint = point;
    m_lastResult = result;
    return result;
}

void DestinationResolver::invalidate() {
    m_lastResolvedAt.reset();
    m_lastPoint.reset();
    m_lastResult = ResolvedDestination::unknown();
}

ResolvedDestination DestinationResolver::uncachedResolve(Point point) {
    Q_ASSERT(onMainThread());
    const std::vector<WindowInfo> windows = m_lister.windowsOnScreen();

    std::optional<QString> bundle;
    qint32 pid = 0;
    if (windows.empty()) {
        const std::optional<Workspace::Application> front = m_workspace.frontmostApplication();
        if (!front || front->processIdentifier == m_ownPID || !front->bundleIdentifier)
            return ResolvedDestination::unknown();
        bundle = front->bundleIdentifier;
        pid = front->processIdentifier;
    } else {
        const WindowInfo* hit = nullptr;
        for (const WindowInfo& window : windows) {
            if (window.layer <= 0 && window.ownerPID != m_ownPID && window.bounds.contains(point)) {
                hit = &window;
                break;
            }
        }
        // The window under the pointer decides even when it cannot be named:
        // a window behind it is out of reach of the drop.
        if (!hit)
            return ResolvedDestination::unknown();
        bundle = bundleID(*hit);
        if (!bundle)
            return ResolvedDestination::unknown();
        pid = hit->ownerPID;
    }

    ResolvedDestination result;
    result.bundleID = bundle;
    result.category = categories.category(bundle);
    if (editorPaneDetectionEnabled)
        result.isEditorPane = isOverEditorPane(point, pid);
    return result;
}

std::optional<QString> DestinationResolver::bundleID(const WindowInfo& window) {
    // Without a process there is nothing to key a cache entry on.
    if (window.ownerPID <= 0)
        return m_workspace.applicationID(window);

    // Process numbers are reused: an entry holds only while its process runs.
    const std::optional<quint64> identity = m_workspace.processIdentity(window.ownerPID);
    const auto cached = m_pidToBundleID.constFind(window.ownerPID);
    if (cached != m_pidToBundleID.constEnd() && cached->processIdentity == identity)
        return cached->bundleID;

    const std::optional<QString> bundle = m_workspace.applicationID(window);
    m_pidToBundleID.insert(window.ownerPID, CachedApplication{bundle, identity});
    return bundle;
}

std::optional<bool> DestinationResolver::isOverEditorPane(Point point, qint32 pid) const {
    if (!m_accessibility.isTrusted())
        return std::nullopt;
    const std::optional<QString> role = m_accessibility.roleAt(point, pid);
    if (!role)
        return std::nullopt;
    if (*role == u"AXTextArea" || *role == u"AXTextField")
        return true;
    if (*role == u"AXOutline" || *role == u"AXTable" || *role == u"AXBrowser" || *role == u"AXList")
        return false;
    return std::nullopt;
}

Point DestinationResolver::flippedPoint(Point point, const std::vector<Rect>& screenFrames) {
    if (screenFrames.empty())
        return point;
    return {point.x, screenFrames.front().maxY() - point.y};
}

bool DestinationResolver::hasAccessibilityPermission() const {
    return m_accessibility.isTrusted();
}

} // namespace tarvo
