#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace tarvo::test {

// Turns the event loop until `done` holds or `ms` pass, generous against a
// loaded machine; whether it holds.
inline bool runEventsUntil(const std::function<bool()>& done, int ms = 20000) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace tarvo::test
