#pragma once

#include <QImage>
#include <QWidget>

class QLabel;
class QPushButton;

namespace tarvo {

class SettingsModel;

// Who the application is, the usage counters, the update button with its
// status line, and the links to the maker's pages.
class AboutTab final : public QWidget {
public:
    explicit AboutTab(SettingsModel& model, QWidget* parent = nullptr);

    // The app tile, drawn once per process.
    static const QImage& appIcon();

    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    SettingsModel& m_model;
    QLabel* m_version = nullptr;
    QLabel* m_drops = nullptr;
    QLabel* m_conversions = nullptr;
    QLabel* m_undos = nullptr;
    QPushButton* m_check = nullptr;
    QLabel* m_status = nullptr;
};

} // namespace tarvo
