#pragma once

#include "OnboardingModel.h"

#include <QPoint>
#include <QVariantAnimation>
#include <QWidget>

class QLabel;
class QPushButton;

namespace tarvo {

class HotkeyRecorder;

// The picture of a tutorial step: the hero with the sample on the first two
// steps (the sample can be dragged onto the shelf on the second), the
// delivery rows on the third, the ways to open the shelf on the last.
class OnboardingStage final : public QWidget {
public:
    static constexpr int stageWidth = 508;
    static constexpr int stageHeight = 214;

    explicit OnboardingStage(OnboardingModel& model, QWidget* parent = nullptr);

    bool sampleDraggable() const;
    // 0.25 once the sample has landed on the step that offers it, else 1.
    double sampleOpacity() const;
    // Where the sample's icon sits, in the stage's coordinates.
    QRect sampleRect() const;
    // The words drawn on the stage for the model's step.
    static QStringList paintedTexts(const OnboardingModel& model);

    QSize sizeHint() const override { return {stageWidth, stageHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void paintHero(QPainter& painter);
    void paintWelcome(QPainter& painter);
    void paintRoutes(QPainter& painter);
    void paintWays(QPainter& painter);
    void paintCard(QPainter& painter);

    OnboardingModel& m_model;
    std::optional<QPoint> m_pressedAt;
};

// The row of step dots; the current one is a wider capsule, and the change
// slides over 0.2 seconds.
class OnboardingDots final : public QWidget {
public:
    explicit OnboardingDots(OnboardingModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    OnboardingModel& m_model;
    int m_from = 0;
    QVariantAnimation m_slide;
};

// The tutorial's content: the stage, the step's title and text, on the last
// step a taken shortcut's reason with a recorder for another, the dots,
// Back, the primary button (also Return) and Skip. It only reads the model
// and calls next(), back() and the finish.
class OnboardingView final : public QWidget {
public:
    explicit OnboardingView(OnboardingModel& model, QWidget* parent = nullptr);

    // The title and body keys' texts for the model's state.
    static QString titleText(const OnboardingModel& model);
    static QString bodyText(const OnboardingModel& model);
    static QString primaryText(OnboardingModel::Step step);

    OnboardingStage* stage() const { return m_stage; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void primary();

    OnboardingModel& m_model;
    OnboardingStage* m_stage = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_body = nullptr;
    QWidget* m_shortcutRow = nullptr;
    QLabel* m_shortcutProblem = nullptr;
    HotkeyRecorder* m_recorder = nullptr;
    OnboardingDots* m_dots = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_primary = nullptr;
    QPushButton* m_skip = nullptr;
};

} // namespace tarvo
