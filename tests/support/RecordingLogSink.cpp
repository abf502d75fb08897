#include "RecordingLogSink.h"

namespace tarvo::test {

namespace {
const char* levelName(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return "debug";
    case LogLevel::info:
        return "info";
    case LogLevel::notice:
        return "notice";
    case LogLevel::error:
        return "error";
    case LogLevel::fault:
        return "fault";
    }
    return "?";
}
} // namespace

RecordingLogSink::RecordingLogSink() {
    setLogSink(this);
}

RecordingLogSink::~RecordingLogSink() {
    setLogSink(nullptr);
}

void RecordingLogSink::write(const LogRecord& record) {
    const std::lock_guard lock(m_mutex);
    m_records.push_back(record);
}

std::vector<LogRecord> RecordingLogSink::records() const {
    const std::lock_guard lock(m_mutex);
    return m_records;
}

std::vector<QString> RecordingLogSink::lines() const {
    std::vector<QString> out;
    for (const LogRecord& r : records())
        out.push_back(QStringLiteral("%1 %2: %3")
                          .arg(r.category, QLatin1String(levelName(r.level)), r.message));
    return out;
}

void RecordingLogSink::clear() {
    const std::lock_guard lock(m_mutex);
    m_records.clear();
}

} // namespace tarvo::test
