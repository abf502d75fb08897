#pragma once

#include "TarvoCore/HotkeySpec.h"
#include "TarvoCore/Preferences.h"

#include <QPushButton>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QFormLayout;
class QLabel;

namespace tarvo {

class SettingsModel;

// A button that, once pressed, takes the next key combination typed with at
// least one of Ctrl, Alt, Shift and Super as the new shortcut. Escape alone or
// leaving the button gives up.
class HotkeyRecorder final : public QPushButton {
public:
    explicit HotkeyRecorder(QWidget* parent = nullptr);

    bool isRecording() const { return m_recording; }
    void startRecording();
    void stopRecording();

    std::function<void(const HotkeySpec&)> onRecorded;

    // The spec of a key event's key and modifiers; none for a key the
    // shortcut cannot use or without a modifier.
    static std::optional<HotkeySpec> specFor(int qtKey, Qt::KeyboardModifiers modifiers);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_recording = false;
};

// Switches that write through the model to the preferences, the shortcut
// with its recorder, and what the desktop lacks for the two features that
// need it.
class GeneralTab final : public QWidget {
public:
    explicit GeneralTab(SettingsModel& model, QWidget* parent = nullptr);

    // Reads every value from the model again.
    void refresh();

private:
    QCheckBox* addSwitch(QFormLayout* form, const QString& text, const char* name,
                         Preferences::Key key);
    QCheckBox* addSwitch(QCheckBox* box, Preferences::Key key);

    SettingsModel& m_model;
    // Every switch with the preference it shows and writes.
    std::vector<std::pair<QCheckBox*, Preferences::Key>> m_switches;
    QCheckBox* m_onlyWithShift = nullptr;
    QLabel* m_hotkeyText = nullptr;
    HotkeyRecorder* m_recorder = nullptr;
    QLabel* m_hotkeyProblem = nullptr;
    QWidget* m_accessibilityRow = nullptr;
};

} // namespace tarvo
