#include "LoopStalls.h"

#include <QTimerEvent>

LoopStalls::LoopStalls() = default;

void LoopStalls::start()
{
    m_clock.start();
    m_lastNs = 0;
    m_longestNs = 0;
    if (!m_timer)
        m_timer = startTimer(1, Qt::PreciseTimer);
}

void LoopStalls::timerEvent(QTimerEvent*)
{
    const qint64 now = m_clock.nsecsElapsed();
    m_longestNs = qMax(m_longestNs, now - m_lastNs);
    m_lastNs = now;
}
