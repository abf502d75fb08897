#pragma once

#include "TarvoPlatform/Accessibility.h"

#include <QPoint>

#include <memory>

namespace tarvo {

// The AT-SPI client of the desktop module, made at the first question: until
// then neither the module nor the client's thread exists. Without the module
// nothing is trusted and no role is known. Main thread only.
class ModuleAccessibility final : public Accessibility {
public:
    ModuleAccessibility();
    ~ModuleAccessibility() override;
    ModuleAccessibility(const ModuleAccessibility&) = delete;
    ModuleAccessibility& operator=(const ModuleAccessibility&) = delete;

    // Kept for the client until it exists.
    void setScreenGeometry(QPoint primaryOrigin, double devicePixelRatio);

    bool isTrusted() override;
    std::optional<QString> roleAt(Point point, qint32 pid) override;

private:
    Accessibility* client();

    std::unique_ptr<Accessibility> m_client;
    bool m_looked = false;
    QPoint m_origin;
    double m_ratio = 1.0;
};

} // namespace tarvo
