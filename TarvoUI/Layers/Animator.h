#pragma once

#include "AnimationClock.h"

#include <cstdint>
#include <functional>
#include <set>
#include <utility>
#include <vector>

namespace tarvo {

class Layer;

// Drives the animations of one layer tree on one clock: on each tick it takes
// finished animations off their layers, runs the completions of transactions
// whose animations have all ended, asks the tree to repaint, and stops the
// clock when nothing moves any more. Main thread only.
class Animator final {
public:
    explicit Animator(AnimationClock& clock);
    ~Animator();

    Animator(const Animator&) = delete;
    Animator& operator=(const Animator&) = delete;

    AnimationClock& clock() const { return m_clock; }
    double now() const { return m_clock.now(); }
    // Whether any animation is running or waiting to begin.
    bool isAnimating() const;
    // Runs one frame; the clock calls it.
    void tick();
    // Called at the end of every frame, after the tree was asked to repaint:
    // a host that follows what is presented beyond painting it (a window's
    // shape) looks then.
    void setFrameHandler(std::function<void()> handler) { m_frameHandler = std::move(handler); }

private:
    friend class Layer;
    friend class Transaction;

    struct TransactionRecord {
        std::uint64_t id = 0;
        std::function<void()> completion;
        int pending = 0;
        bool committed = false;
    };

    void attach(Layer* layer);
    void detach(Layer* layer);
    void animationAdded(Layer* layer, std::vector<std::uint64_t>& transactions);
    void animationEnded(const std::vector<std::uint64_t>& transactions);
    void requestFrame();
    std::uint64_t beginTransaction();
    void setCompletion(std::uint64_t id, std::function<void()> completion);
    void commitTransaction(std::uint64_t id);
    void settle(TransactionRecord& record);
    void runCompletions();

    AnimationClock& m_clock;
    std::function<void()> m_frameHandler;
    std::set<Layer*> m_layers;
    std::set<Layer*> m_animating;
    std::vector<TransactionRecord> m_transactions; // open or waiting, oldest first
    std::vector<std::uint64_t> m_open;             // innermost last
    std::vector<std::function<void()>> m_dueCompletions;
    std::uint64_t m_nextTransaction = 1;
    bool m_ticking = false;
};

// A group of changes. Setting values never animates, so a transaction only
// gathers animations: its completion runs (on a later tick, never inside
// `commit`) once every animation added while it was open has ended or been
// removed. Commits when destroyed, unless committed before.
class Transaction final {
public:
    explicit Transaction(Animator& animator);
    ~Transaction();

    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void setCompletion(std::function<void()> completion);
    void commit();

private:
    Animator& m_animator;
    std::uint64_t m_id;
    bool m_committed = false;
};

} // namespace tarvo
