#pragma once

#include "platform/Clock.h"

// A clock that stands still until the test moves it; the timers on it fire
// as it passes their time, within advance(), never on their own.
class ManualClock : public Clock
{
public:
    qint64 nowMs() const override { return m_now; }
    bool drivesTimers() const override { return true; }

    // Moves the time on by ms, a millisecond at a time, so timers due in
    // between fire in their order and at their moment.
    void advance(qint64 ms)
    {
        for (qint64 i = 0; i < ms; ++i) {
            ++m_now;
            emit moved();
        }
    }

private:
    qint64 m_now = 1'000'000;
};
