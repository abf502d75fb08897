#pragma once

#include <QWidget>

class QVBoxLayout;

namespace tarvo {

class SettingsModel;

// The applications Tarvo knows as drop destinations: pin one to offer it on
// the shelf, and choose the category of a pinned one.
class AppsTab final : public QWidget {
public:
    explicit AppsTab(SettingsModel& model, QWidget* parent = nullptr);

    // Builds the rows again from the model.
    void refresh();
    // Asks for a ".desktop" file and pins its application.
    void chooseApplication();

protected:
    void showEvent(QShowEvent* event) override;

private:
    SettingsModel& m_model;
    QVBoxLayout* m_rows = nullptr;
    bool m_built = false;
};

} // namespace tarvo
