#pragma once

#include <QWidget>

#include <memory>

class QTabWidget;

namespace tarvo {

class SettingsModel;

// The settings window: a normal titled window of fixed size with the General,
// Rules, Apps and About tabs over one model. Closing it only hides it; the
// same window, on the tab last chosen, comes back at the next show().
class SettingsWindowController final {
public:
    static constexpr int width = 640;
    static constexpr int height = 480;

    explicit SettingsWindowController(SettingsModel& model);
    ~SettingsWindowController();
    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;

    SettingsModel& model() const { return m_model; }
    QWidget* window() const { return m_window.get(); }
    QTabWidget* tabs() const { return m_tabs; }

    // Shows the window, raised and active. The tab is the model's: a caller
    // that wants another sets SettingsModel::selectedTab first.
    void show();

private:
    SettingsModel& m_model;
    std::unique_ptr<QWidget> m_window;
    QTabWidget* m_tabs = nullptr;
};

} // namespace tarvo
