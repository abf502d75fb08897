#pragma once

#include "TarvoPlatform/Accessibility.h"

#include <QPoint>

#include <chrono>
#include <memory>

namespace tarvo {

// Accessibility over AT-SPI, spoken directly on D-Bus. Every query runs on a
// worker thread of its own under one deadline for all its calls, and the
// caller waits for it only a short while: a stopped application makes the
// answer absent, never the pointer slow. While a late query is still running
// the next ones answer absent at once. Connections to the buses are made
// under the same deadline, and the program's exit never waits for the
// worker. "Trusted" means the accessibility bus is running and enabled.
class AtSpiAccessibility final : public Accessibility {
public:
    struct Timing {
        // For every D-Bus call of one query together.
        std::chrono::milliseconds queryDeadline{100};
        // How long the caller waits for the answer.
        std::chrono::milliseconds answerWait{40};
        // How long an answer to "trusted" is kept.
        std::chrono::milliseconds trustLifetime{1000};
    };

    explicit AtSpiAccessibility(Timing timing);
    AtSpiAccessibility() : AtSpiAccessibility(Timing{}) {}
    ~AtSpiAccessibility() override;

    // Where the primary screen lies in root-window pixels, and how many
    // pixels make a point; AT-SPI counts in screen pixels.
    void setScreenGeometry(QPoint primaryOrigin, double devicePixelRatio);

    bool isTrusted() override;
    std::optional<QString> roleAt(Point point, qint32 pid) override;

    // An AT-SPI role name as the rest of the code names roles; a text is an
    // area unless it is single-line.
    static QString roleName(const QString& atspiRole, bool singleLine);

private:
    class Worker;
    struct Outcome;

    Timing m_timing;
    std::shared_ptr<Worker> m_worker;
    QPoint m_origin;
    double m_scale = 1.0;
    std::optional<bool> m_trusted;
    std::chrono::steady_clock::time_point m_trustedAt;
    // The last trust query, while its answer is late.
    std::shared_ptr<Outcome> m_lateTrust;
};

} // namespace tarvo
