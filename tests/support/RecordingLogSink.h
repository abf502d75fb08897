#pragma once

#include "TarvoCore/Log.h"

#include <mutex>
#include <vector>

namespace tarvo::test {

// Records every log line while alive, so tests can assert exact texts.
class RecordingLogSink final : public LogSink {
public:
    RecordingLogSink();
    ~RecordingLogSink() override;

    void write(const LogRecord& record) override;
    std::vector<LogRecord> records() const;
    // "category level: message" lines, e.g. "core notice: dropping item ...".
    std::vector<QString> lines() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<LogRecord> m_records;
};

} // namespace tarvo::test
