#pragma once

#include <memory>

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

// Proof that this process's event loop has moved past now: everything posted
// or due before the call (queued signals, zero timers, input QTest sent) has
// been handled once it returns true. Where a test shows that something does
// NOT happen, this is the moment it would have happened by.
inline bool passEventLoop(int timeoutMs = 5000)
{
    auto reached = std::make_shared<bool>(false);
    QTimer::singleShot(0, qApp, [reached] { *reached = true; });
    return QTest::qWaitFor([reached] { return *reached; }, timeoutMs);
}
