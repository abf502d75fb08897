#include "Log.h"

#include <atomic>

namespace tarvo {

namespace {
std::atomic<LogSink*> g_sink{nullptr};
}

void setLogSink(LogSink* sink) {
    g_sink.store(sink);
}

Logger::Logger(const char* category)
    : m_category(QString::fromLatin1(category)),
      m_qtName(QByteArray(Log::subsystem) + '.' + category), m_qtCategory(m_qtName.constData()) {}

void Logger::log(LogLevel level, const QString& message) const {
    if (LogSink* sink = g_sink.load()) {
        sink->write(LogRecord{m_category, level, message});
        return;
    }
    switch (level) {
    case LogLevel::debug:
        qCDebug(m_qtCategory).noquote() << message;
        break;
    case LogLevel::info:
    case LogLevel::notice:
        qCInfo(m_qtCategory).noquote() << message;
        break;
    case LogLevel::error:
        qCWarning(m_qtCategory).noquote() << message;
        break;
    case LogLevel::fault:
        qCCritical(m_qtCategory).noquote() << message;
        break;
    }
}

namespace Log {
// Function-local statics: made once, on first use, safely from any thread.
const Logger& core() {
    static const Logger l("core");
    return l;
}
const Logger& drag() {
    static const Logger l("drag");
    return l;
}
const Logger& convert() {
    static const Logger l("convert");
    return l;
}
const Logger& deliver() {
    static const Logger l("deliver");
    return l;
}
const Logger& ui() {
    static const Logger l("ui");
    return l;
}
const Logger& updates() {
    static const Logger l("updates");
    return l;
}
} // namespace Log

} // namespace tarvo
