#pragma once

#include <algorithm>

#include <QDeadlineTimer>
#include <QTest>

// Checks `done` every `intervalMs` with the event loop running, until it holds
// or `timeoutMs` have passed. For checks that start a process or ask the X
// server each time, where QTest::qWaitFor's 10 ms pace would load a busy
// machine for nothing.
template<typename Check> bool pollUntil(Check done, int timeoutMs, int intervalMs = 100)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(int(std::min<qint64>(intervalMs, deadline.remainingTime())));
    }
}

// What `look` gives once two looks `intervalMs` apart agree; the last look
// when they still differ after `timeoutMs`. For a window the window manager
// may still be placing: it says nothing when it is done.
template<typename Look> auto settled(Look look, int timeoutMs, int intervalMs = 100)
{
    auto last = look();
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QTest::qWait(intervalMs);
        auto now = look();
        if (now == last)
            break;
        last = now;
    }
    return last;
}
