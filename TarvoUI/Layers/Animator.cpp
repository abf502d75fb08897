#include "Animator.h"

#include "Layer.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

Animator::Animator(AnimationClock& clock) : m_clock(clock) {
    m_clock.setTickHandler([this] { tick(); });
}

Animator::~Animator() {
    m_clock.stop();
    m_clock.setTickHandler(nullptr);
    for (Layer* layer : m_layers)
        layer->m_animator = nullptr;
}

bool Animator::isAnimating() const {
    return !m_animating.empty();
}

void Animator::attach(Layer* layer) {
    m_layers.insert(layer);
    if (layer->m_animations.empty())
        return;
    const double now = m_clock.now();
    for (Layer::Running& running : layer->m_animations) {
        if (std::isnan(running.begin))
            running.begin = now;
    }
    m_animating.insert(layer);
    requestFrame();
}

void Animator::detach(Layer* layer) {
    m_layers.erase(layer);
    m_animating.erase(layer);
    for (const Layer::Running& running : layer->m_animations) {
        if (!running.finished)
            animationEnded(running.transactions);
    }
}

void Animator::animationAdded(Layer* layer, std::vector<std::uint64_t>& transactions) {
    transactions = m_open;
    for (TransactionRecord& record : m_transactions) {
        if (std::find(m_open.begin(), m_open.end(), record.id) != m_open.end())
            ++record.pending;
    }
    m_animating.insert(layer);
    requestFrame();
}

void Animator::animationEnded(const std::vector<std::uint64_t>& transactions) {
    for (std::uint64_t id : transactions) {
        auto it = std::find_if(m_transactions.begin(), m_transactions.end(),
                               [id](const TransactionRecord& r) { return r.id == id; });
        if (it == m_transactions.end())
            continue;
        --it->pending;
        if (it->pending <= 0 && it->committed) {
            settle(*it);
            m_transactions.erase(it);
        }
    }
}

void Animator::settle(TransactionRecord& record) {
    // A transaction without a completion has nothing left to do: waking the
    // clock for it would draw an empty frame after every layout.
    if (!record.completion)
        return;
    m_dueCompletions.push_back(std::move(record.completion));
    requestFrame();
}

void Animator::requestFrame() {
    if (!m_clock.isRunning())
        m_clock.start();
}

std::uint64_t Animator::beginTransaction() {
    const std::uint64_t id = m_nextTransaction++;
    m_transactions.push_back({id, nullptr, 0, false});
    m_open.push_back(id);
    return id;
}

void Animator::setCompletion(std::uint64_t id, std::function<void()> completion) {
    for (TransactionRecord& record : m_transactions) {
        if (record.id == id)
            record.completion = std::move(completion);
    }
}

void Animator::commitTransaction(std::uint64_t id) {
    m_open.erase(std::remove(m_open.begin(), m_open.end(), id), m_open.end());
    auto it = std::find_if(m_transactions.begin(), m_transactions.end(),
                           [id](const TransactionRecord& r) { return r.id == id; });
    if (it == m_transactions.end())
        return;
    it->committed = true;
    if (it->pending <= 0) {
        settle(*it);
        m_transactions.erase(it);
    }
}

void Animator::runCompletions() {
    std::vector<std::function<void()>> due;
    due.swap(m_dueCompletions);
    for (auto& completion : due)
        completion();
}

void Animator::tick() {
    if (m_ticking)
        return;
    m_ticking = true;
    const double now = m_clock.now();
    const std::vector<Layer*> layers(m_animating.begin(), m_animating.end());
    std::vector<std::vector<std::uint64_t>> ended;
    for (Layer* layer : layers) {
        bool live = false;
        auto& running = layer->m_animations;
        for (auto it = running.begin(); it != running.end();) {
            if (!it->finished && it->begin + it->animation->activeDuration() <= now) {
                it->finished = true;
                ended.push_back(it->transactions);
            }
            if (it->finished && it->animation->removedOnCompletion) {
                it = running.erase(it);
                continue;
            }
            live = live || !it->finished;
            ++it;
        }
        if (!live)
            m_animating.erase(layer);
    }
    for (const auto& transactions : ended)
        animationEnded(transactions);
    // Repaint through each tree's handler; the host coalesces repeated requests.
    for (Layer* layer : layers) {
        if (m_layers.count(layer))
            layer->setNeedsDisplay();
    }
    runCompletions();
    if (m_frameHandler)
        m_frameHandler();
    if (m_animating.empty() && m_dueCompletions.empty())
        m_clock.stop();
    m_ticking = false;
}

Transaction::Transaction(Animator& animator)
    : m_animator(animator), m_id(animator.beginTransaction()) {}

Transaction::~Transaction() {
    commit();
}

void Transaction::setCompletion(std::function<void()> completion) {
    m_animator.setCompletion(m_id, std::move(completion));
}

void Transaction::commit() {
    if (m_committed)
        return;
    m_committed = true;
    m_animator.commitTransaction(m_id);
}

} // namespace tarvo
