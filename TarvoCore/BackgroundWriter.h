#pragma once

#include <QString>
#include <QThreadPool>

#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace tarvo {

// Writes files off the main thread, so that a change never waits for the
// disk. The caller changes its state in memory at once and hands over a write
// of a snapshot. Writes run one at a time on one thread, so at most one write
// of a file is ever under way; while one waits, a newer write of the same file
// takes its place (the last value wins). Destroying the writer finishes every
// write asked for; `waitForIdle` does so earlier (quit, tests). A write
// reports its own failures.
class BackgroundWriter final {
public:
    explicit BackgroundWriter(const QString& threadName);
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    void write(const QString& file, std::function<void()> work);
    void waitForIdle();

private:
    void drain();

    std::mutex m_mutex;
    std::map<QString, std::function<void()>> m_waiting;
    std::deque<QString> m_order; // files with a write waiting, oldest first
    bool m_running = false;
    QThreadPool m_thread;
};

} // namespace tarvo
