#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tarvo::test {

// Sets an environment variable for one test and puts back what was there.
class ScopedEnvironment final {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnvironment() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace tarvo::test
