#pragma once

#include <QWidget>

#include <memory>

namespace tarvo {

class OnboardingModel;
class OnboardingView;

// The tutorial's window: no title bar, no window buttons, fixed at the
// tutorial's size and centred; it cannot be dragged around, and only the
// tutorial's own buttons end it. Closing only hides it.
class OnboardingWindowController final {
public:
    // Sets the model's finish to close this window while it exists; the
    // shell replaces it with its own.
    explicit OnboardingWindowController(OnboardingModel& model);
    ~OnboardingWindowController();
    OnboardingWindowController(const OnboardingWindowController&) = delete;
    OnboardingWindowController& operator=(const OnboardingWindowController&) = delete;

    OnboardingModel& model() const { return m_model; }
    QWidget* window() const { return m_window.get(); }
    OnboardingView* view() const { return m_view; }

    // Shows the window, raised and active.
    void show();
    void close();

private:
    OnboardingModel& m_model;
    std::unique_ptr<QWidget> m_window;
    OnboardingView* m_view = nullptr;
    // Tells the default finish whether this controller is still there.
    std::shared_ptr<bool> m_alive;
};

} // namespace tarvo
