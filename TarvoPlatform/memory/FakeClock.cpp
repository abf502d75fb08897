#include "FakeClock.h"

#include <algorithm>

namespace tarvo {

struct FakeClock::Entry {
    std::function<void()> work;
    bool cancelled = false;
};

class FakeClock::Handle final : public ScheduledWork {
public:
    explicit Handle(std::weak_ptr<Entry> entry) : m_entry(std::move(entry)) {}
    ~Handle() override { cancel(); }
    void cancel() override {
        if (const auto entry = m_entry.lock()) {
            entry->cancelled = true;
            entry->work = nullptr;
        }
    }

private:
    std::weak_ptr<Entry> m_entry;
};

FakeClock::FakeClock(Date start) : m_now(start) {}

FakeClock::~FakeClock() = default;

std::unique_ptr<ScheduledWork> FakeClock::schedule(double seconds, std::function<void()> work) {
    auto entry = std::make_shared<Entry>();
    entry->work = std::move(work);
    const double due = m_now.secondsSince1970() + std::max(0.0, seconds);
    m_pending.emplace(std::pair{due, m_sequence++}, entry);
    return std::make_unique<Handle>(entry);
}

void FakeClock::advance(double seconds) {
    const double end = m_now.secondsSince1970() + seconds;
    while (!m_pending.empty() && m_pending.begin()->first.first <= end) {
        const auto it = m_pending.begin();
        const double due = it->first.first;
        const std::shared_ptr<Entry> entry = it->second;
        m_pending.erase(it);
        m_now = Date::fromSecondsSince1970(due);
        if (entry->cancelled || !entry->work)
            continue;
        auto work = std::move(entry->work);
        entry->work = nullptr;
        work();
    }
    m_now = Date::fromSecondsSince1970(end);
    m_monotonic += static_cast<qint64>(seconds * 1e9);
}

std::size_t FakeClock::pendingCount() const {
    std::size_t count = 0;
    for (const auto& [key, entry] : m_pending) {
        if (!entry->cancelled && entry->work)
            ++count;
    }
    return count;
}

} // namespace tarvo
