#pragma once

#include <QLoggingCategory>
#include <QString>

namespace tarvo {

// `notice` is the default level: what a user sees in the log without asking for more.
enum class LogLevel { debug, info, notice, error, fault };

struct LogRecord {
    QString category; // "core", "drag", ...
    LogLevel level;
    QString message;
    bool operator==(const LogRecord&) const = default;
};

// Receives every log line instead of Qt's message handler while installed.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogRecord& record) = 0;
};

// Installs `sink` (not owned) for every thread; nullptr sends lines to Qt again.
void setLogSink(LogSink* sink);

// One area's log handle: Qt category "com.tarvoapp.Tarvo.<category>".
class Logger final {
public:
    explicit Logger(const char* category);
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void log(LogLevel level, const QString& message) const;
    void debug(const QString& message) const { log(LogLevel::debug, message); }
    void info(const QString& message) const { log(LogLevel::info, message); }
    void notice(const QString& message) const { log(LogLevel::notice, message); }
    void error(const QString& message) const { log(LogLevel::error, message); }
    void fault(const QString& message) const { log(LogLevel::fault, message); }

    const QString& category() const { return m_category; }
    const QLoggingCategory& qtCategory() const { return m_qtCategory; }

private:
    QString m_category;
    QByteArray m_qtName;
    QLoggingCategory m_qtCategory;
};

namespace Log {
inline constexpr char subsystem[] = "com.tarvoapp.Tarvo";
const Logger& core();
const Logger& drag();
const Logger& convert();
const Logger& deliver();
const Logger& ui();
const Logger& updates();
} // namespace Log

} // namespace tarvo
