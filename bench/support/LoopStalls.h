#pragma once

#include <QElapsedTimer>
#include <QObject>

// The longest time the event loop went without turning while this watched:
// how long the panel would have ignored a click or a key.
class LoopStalls : public QObject
{
public:
    LoopStalls();
    void start();
    double longestMs() const { return m_longestNs / 1e6; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
    int m_timer = 0;
};
