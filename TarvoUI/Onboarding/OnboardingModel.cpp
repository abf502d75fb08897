#include "OnboardingModel.h"

#include <utility>

namespace tarvo {

std::optional<OnboardingModel::Step> OnboardingModel::step(int rawValue) {
    if (rawValue < 0 || rawValue >= totalSteps)
        return std::nullopt;
    return static_cast<Step>(rawValue);
}

OnboardingModel::OnboardingModel(QObject* parent) : QObject(parent) {}

void OnboardingModel::setStep(Step step) {
    if (step == m_step)
        return;
    m_step = step;
    Q_EMIT stepChanged();
}

void OnboardingModel::setSampleLanded(bool landed) {
    if (landed == m_sampleLanded)
        return;
    m_sampleLanded = landed;
    Q_EMIT sampleLandedChanged();
}

void OnboardingModel::setShortcutKeys(const QStringList& keys) {
    if (keys == m_shortcutKeys)
        return;
    m_shortcutKeys = keys;
    Q_EMIT shortcutKeysChanged();
}

void OnboardingModel::setShortcutProblem(const QString& problem) {
    if (problem == m_shortcutProblem)
        return;
    m_shortcutProblem = problem;
    Q_EMIT shortcutProblemChanged();
}

void OnboardingModel::setOnFinish(std::function<void()> onFinish) {
    m_onFinish = std::move(onFinish);
    Q_EMIT onFinishChanged();
}

void OnboardingModel::setOnSampleDrag(std::function<void(bool inFlight)> onSampleDrag) {
    m_onSampleDrag = std::move(onSampleDrag);
}

void OnboardingModel::sampleDragChanged(bool inFlight) {
    if (m_onSampleDrag)
        m_onSampleDrag(inFlight);
}

void OnboardingModel::next() {
    if (isLast()) {
        finish();
        return;
    }
    setStep(static_cast<Step>(static_cast<int>(m_step) + 1));
}

void OnboardingModel::back() {
    if (isFirst())
        return;
    setStep(static_cast<Step>(static_cast<int>(m_step) - 1));
}

void OnboardingModel::finish() {
    // A copy: the callback may replace or drop the model's own.
    if (const std::function<void()> onFinish = m_onFinish)
        onFinish();
}

} // namespace tarvo
