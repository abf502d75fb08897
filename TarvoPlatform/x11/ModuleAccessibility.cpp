#include "ModuleAccessibility.h"

#include "DesktopModule.h"

namespace tarvo {

ModuleAccessibility::ModuleAccessibility() = default;

ModuleAccessibility::~ModuleAccessibility() = default;

void ModuleAccessibility::setScreenGeometry(QPoint primaryOrigin, double devicePixelRatio) {
    m_origin = primaryOrigin;
    m_ratio = devicePixelRatio;
    if (m_client)
        desktopModule()->setScreenGeometry(*m_client, m_origin, m_ratio);
}

Accessibility* ModuleAccessibility::client() {
    if (!m_looked) {
        m_looked = true;
        if (const DesktopModule* module = desktopModule()) {
            m_client.reset(module->makeAccessibility());
            module->setScreenGeometry(*m_client, m_origin, m_ratio);
        }
    }
    return m_client.get();
}

bool ModuleAccessibility::isTrusted() {
    Accessibility* accessibility = client();
    return accessibility && accessibility->isTrusted();
}

std::optional<QString> ModuleAccessibility::roleAt(Point point, qint32 pid) {
    Accessibility* accessibility = client();
    if (!accessibility)
        return std::nullopt;
    return accessibility->roleAt(point, pid);
}

} // namespace tarvo
