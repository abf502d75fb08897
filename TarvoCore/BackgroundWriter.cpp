#include "BackgroundWriter.h"

namespace tarvo {

BackgroundWriter::BackgroundWriter(const QString& threadName) {
    m_thread.setMaxThreadCount(1);
    m_thread.setObjectName(threadName);
}

BackgroundWriter::~BackgroundWriter() {
    waitForIdle();
}

void BackgroundWriter::write(const QString& file, std::function<void()> work) {
    {
        const std::lock_guard lock(m_mutex);
        const auto [at, added] = m_waiting.try_emplace(file, std::move(work));
        if (!added)
            at->second = std::move(work);
        else
            m_order.push_back(file);
        if (m_running)
            return;
        m_running = true;
    }
    m_thread.start([this] { drain(); });
}

void BackgroundWriter::drain() {
    std::unique_lock lock(m_mutex);
    while (!m_order.empty()) {
        const QString file = m_order.front();
        m_order.pop_front();
        const auto at = m_waiting.find(file);
        std::function<void()> work = std::move(at->second);
        m_waiting.erase(at);
        lock.unlock();
        work();
        lock.lock();
    }
    m_running = false;
}

void BackgroundWriter::waitForIdle() {
    m_thread.waitForDone();
}

} // namespace tarvo
