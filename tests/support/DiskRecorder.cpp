#include "DiskRecorder.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace tarvo::test {

namespace {

const char* nameOf(DiskIO::Call call) {
    switch (call) {
    case DiskIO::Call::open:
        return "open";
    case DiskIO::Call::write:
        return "write";
    case DiskIO::Call::flushFile:
        return "flushFile";
    case DiskIO::Call::flushFolder:
        return "flushFolder";
    case DiskIO::Call::flushFileSystem:
        return "flushFileSystem";
    case DiskIO::Call::rename:
        return "rename";
    case DiskIO::Call::remove:
        return "remove";
    }
    return "?";
}

} // namespace

DiskRecorder::DiskRecorder() {
    DiskIO::setObserver([this](DiskIO::Call call, const QString& path, const QString& other) {
        return observe(call, path, other);
    });
}

DiskRecorder::~DiskRecorder() {
    DiskIO::setObserver({});
}

QString DiskRecorder::label(const QString& path) {
    static const QRegularExpression uuid(
        QStringLiteral("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"),
        QRegularExpression::CaseInsensitiveOption);
    QString name = QFileInfo(path).fileName();
    return name.replace(uuid, QStringLiteral("ID"));
}

int DiskRecorder::observe(DiskIO::Call call, const QString& path, const QString& other) {
    QString line = QString::fromLatin1(nameOf(call)) + u' ' + label(path);
    if (!other.isEmpty())
        line += QStringLiteral(" -> ") + label(other);
    const std::lock_guard lock(m_mutex);
    m_calls.push_back(line);
    if (m_cutAt && m_calls.size() > *m_cutAt)
        return m_cutCode;
    for (const Fault& fault : m_faults) {
        if (fault.call == call && path.endsWith(fault.suffix))
            return fault.code;
    }
    return 0;
}

std::vector<QString> DiskRecorder::calls() const {
    const std::lock_guard lock(m_mutex);
    return m_calls;
}

void DiskRecorder::clear() {
    const std::lock_guard lock(m_mutex);
    m_calls.clear();
}

void DiskRecorder::fail(DiskIO::Call call, const QString& pathSuffix, int code) {
    const std::lock_guard lock(m_mutex);
    m_faults.push_back({call, pathSuffix, code});
}

} // namespace tarvo::test

namespace tarvo::test {

void DiskRecorder::failFrom(std::size_t call, int code) {
    const std::lock_guard lock(m_mutex);
    m_cutAt = m_calls.size() + call;
    m_cutCode = code;
}

void DiskRecorder::restore() {
    const std::lock_guard lock(m_mutex);
    m_cutAt.reset();
    m_faults.clear();
}

} // namespace tarvo::test
