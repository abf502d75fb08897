#pragma once

#include "TarvoCore/HotkeySpec.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace tarvo {

// The first-run tutorial's state: the step shown and whether the sample has
// landed on the shelf. Writes of an unchanged value notify nobody; setting
// onFinish always notifies. Main thread only.
class OnboardingModel final : public QObject {
    Q_OBJECT

public:
    enum class Step { welcome = 0, tryIt = 1, route = 2, open = 3 };
    static constexpr std::array allSteps = {Step::welcome, Step::tryIt, Step::route, Step::open};
    static constexpr int totalSteps = 4;
    // The step of a raw value; none outside 0 to 3.
    static std::optional<Step> step(int rawValue);

    explicit OnboardingModel(QObject* parent = nullptr);

    Step step() const { return m_step; }
    void setStep(Step step);
    bool sampleLanded() const { return m_sampleLanded; }
    void setSampleLanded(bool landed);
    bool isFirst() const { return m_step == Step::welcome; }
    bool isLast() const { return m_step == Step::open; }

    // The keys of the shortcut that opens the shelf, as the last step shows
    // them ("Alt", "Space").
    const QStringList& shortcutKeys() const { return m_shortcutKeys; }
    void setShortcutKeys(const QStringList& keys);

    // Why the shortcut does not work (another program holds it), in the
    // settings' words; empty while it works.
    const QString& shortcutProblem() const { return m_shortcutProblem; }
    void setShortcutProblem(const QString& problem);
    // Takes a shortcut recorded on the tutorial's last step in place of the
    // one that is taken; set by the shell.
    std::function<void(const HotkeySpec&)> onShortcutRecorded;

    // What ends the tutorial; the shell replaces the window's own.
    const std::function<void()>& onFinish() const { return m_onFinish; }
    void setOnFinish(std::function<void()> onFinish);

    // Told when the sample starts and stops being dragged: the shelf does not
    // open by itself for a drag that starts in Tarvo's own window.
    const std::function<void(bool inFlight)>& onSampleDrag() const { return m_onSampleDrag; }
    void setOnSampleDrag(std::function<void(bool inFlight)> onSampleDrag);
    void sampleDragChanged(bool inFlight);

    // The next step; on the last one, the end of the tutorial.
    void next();
    // The step before; nothing on the first.
    void back();
    void finish();

Q_SIGNALS:
    void stepChanged();
    void sampleLandedChanged();
    void shortcutKeysChanged();
    void shortcutProblemChanged();
    void onFinishChanged();

private:
    Step m_step = Step::welcome;
    bool m_sampleLanded = false;
    QStringList m_shortcutKeys{QStringLiteral("Alt"), QStringLiteral("Space")};
    QString m_shortcutProblem;
    std::function<void()> m_onFinish;
    std::function<void(bool)> m_onSampleDrag;
};

} // namespace tarvo
