#pragma once

#include "BatchConfirmation.h"

#include <QRect>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>

class QLabel;
class QPushButton;
class QVariantAnimation;

namespace tarvo {

// The small dark panel that asks a batch confirmation: the question, the
// originals and deliver buttons, and a bar that runs down until the panel
// answers "deliver" by itself. It never takes the keyboard focus from the
// application the user is working in. Main thread.
class BatchConfirmWindow final : public QWidget {
public:
    using Completion = std::function<void(BatchConfirmation::Choice)>;

    // `reduceMotion` is asked at every presentation; `timeout` is the
    // confirmation's own unless a test shortens it.
    explicit BatchConfirmWindow(std::function<bool()> reduceMotion = {},
                                std::chrono::milliseconds timeout = std::chrono::milliseconds(
                                    qint64(BatchConfirmation::timeout * 1000)));
    ~BatchConfirmWindow() override;

    // Shows the question centred 8 points below `below` (screen coordinates)
    // and calls `completion` once with the user's choice, or with `deliver`
    // when the time runs out.
    void present(const BatchConfirmation& confirmation, const QRect& below, Completion completion);

    void chooseDeliver() { finish(BatchConfirmation::Choice::deliver); }
    void chooseOriginals() { finish(BatchConfirmation::Choice::originals); }

    bool isCountingDown() const { return m_timeoutWork.isActive(); }
    // The bar's length as a fraction of the panel's width (1 when still).
    double countdownFraction() const { return m_countdownFraction; }
    double countdownOpacity() const { return m_countdownOpacity; }
    QLabel* label() const { return m_label; }
    QPushButton* deliverButton() const { return m_deliverButton; }
    QPushButton* originalsButton() const { return m_originalsButton; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layoutContent();
    void startCountdown();
    void finish(BatchConfirmation::Choice choice);

    QLabel* m_label = nullptr;
    QPushButton* m_deliverButton = nullptr;
    QPushButton* m_originalsButton = nullptr;
    QVariantAnimation* m_countdown = nullptr;
    double m_countdownFraction = 1;
    double m_countdownOpacity = 1;
    Completion m_completion;
    QTimer m_timeoutWork;
    std::function<bool()> m_reduceMotion;
};

} // namespace tarvo
