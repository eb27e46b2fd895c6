#pragma once
// Bounded waits that keep the UI thread's event loop running.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <chrono>

namespace testsupport {

// Processes events until `done()` holds or `timeout` passed; returns done().
template <class Predicate>
bool PumpUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count()) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Processes events for `duration`.
inline void PumpFor(std::chrono::milliseconds duration) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < duration.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

}  // namespace testsupport
