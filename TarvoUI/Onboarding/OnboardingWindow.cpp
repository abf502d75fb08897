#include "OnboardingWindow.h"

#include "OnboardingArt.h"
#include "OnboardingModel.h"
#include "OnboardingView.h"

#include "TarvoCore/L10n.h"

#include <QScreen>
#include <QVBoxLayout>

namespace tarvo {

OnboardingWindowController::OnboardingWindowController(OnboardingModel& model)
    : m_model(model), m_window(std::make_unique<QWidget>()), m_alive(std::make_shared<bool>(true)) {
    m_window->setObjectName(QStringLiteral("onboardingWindow"));
    m_window->setWindowTitle(L10n::onboarding1Title());
    // The window manager's frame: a title to move it by and a close button,
    // as every window of this desktop has.
    m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_window->setFixedSize(OnboardingMetrics::width, OnboardingMetrics::height);
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new OnboardingView(model, m_window.get());
    layout->addWidget(m_view);
    m_window->setFocusProxy(m_view);

    if (const QScreen* screen = m_window->screen()) {
        const QRect area = screen->availableGeometry();
        m_window->move(area.center() -
                       QPoint(OnboardingMetrics::width / 2, OnboardingMetrics::height / 2));
    }

    std::weak_ptr<bool> alive = m_alive;
    QWidget* window = m_window.get();
    model.setOnFinish([alive, window] {
        if (alive.lock())
            window->close();
    });
}

OnboardingWindowController::~OnboardingWindowController() = default;

void OnboardingWindowController::show() {
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_view->setFocus(Qt::ActiveWindowFocusReason);
}

void OnboardingWindowController::close() {
    m_window->close();
}

} // namespace tarvo
