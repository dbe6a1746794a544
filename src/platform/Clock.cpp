#include "platform/Clock.h"

#include <QElapsedTimer>

namespace {
class SystemClock : public Clock
{
public:
    SystemClock() { m_start.start(); }
    qint64 nowMs() const override { return m_start.elapsed(); }

private:
    QElapsedTimer m_start;
};
} // namespace

Clock::Clock(QObject* parent)
    : QObject(parent)
{ }

Clock* Clock::system()
{
    static SystemClock* clock = new SystemClock;
    return clock;
}

ClockTimer::ClockTimer(Clock* clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock ? clock : Clock::system())
{
    if (m_clock->drivesTimers())
        connect(m_clock, &Clock::moved, this, &ClockTimer::clockMoved);
    else
        connect(&m_timer, &QTimer::timeout, this, &ClockTimer::timeout);
}

void ClockTimer::setSingleShot(bool singleShot)
{
    m_singleShot = singleShot;
    m_timer.setSingleShot(singleShot);
}

void ClockTimer::setInterval(int ms)
{
    m_interval = ms;
    m_timer.setInterval(ms);
}

bool ClockTimer::isActive() const
{
    return m_clock->drivesTimers() ? m_due >= 0 : m_timer.isActive();
}

void ClockTimer::start(int ms)
{
    setInterval(ms);
    start();
}

void ClockTimer::start()
{
    if (m_clock->drivesTimers())
        m_due = m_clock->nowMs() + m_interval;
    else
        m_timer.start();
}

void ClockTimer::stop()
{
    m_due = -1;
    m_timer.stop();
}

void ClockTimer::clockMoved()
{
    if (m_due < 0 || m_clock->nowMs() < m_due)
        return;
    // Once per move, however far the clock jumped, as a busy event loop does.
    m_due = m_singleShot ? -1 : m_clock->nowMs() + qMax(m_interval, 1);
    emit timeout();
}
