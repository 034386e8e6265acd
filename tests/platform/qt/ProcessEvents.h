#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

// Runs the event loop until the condition holds or the time limit has passed; returns
// whether it held.
template <typename Condition> bool processEventsUntil(Condition condition, int limitMs = 10000) {
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
