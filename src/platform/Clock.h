#pragma once

#include <QObject>
#include <QTimer>

// Where timed behaviour gets the time: the steady system clock, or one that a
// test moves by hand so that pauses and retries happen exactly when it says.
class Clock : public QObject
{
    Q_OBJECT

public:
    // The steady system clock; shared, never deleted.
    static Clock* system();

    // Milliseconds on a steady scale; only differences mean anything.
    virtual qint64 nowMs() const = 0;
    // Whether this clock fires its timers itself (as it moves) rather than
    // leaving them to the event loop's timers.
    virtual bool drivesTimers() const { return false; }

signals:
    // A clock that drives its timers says when its time moved.
    void moved();

protected:
    explicit Clock(QObject* parent = nullptr);
};

// A single-shot or repeating timer on a Clock: a plain QTimer on the system
// clock, fired by the clock itself on one that drives its timers.
class ClockTimer : public QObject
{
    Q_OBJECT

public:
    explicit ClockTimer(Clock* clock = nullptr, QObject* parent = nullptr);

    void setSingleShot(bool singleShot);
    void setInterval(int ms);
    int interval() const { return m_interval; }
    void setTimerType(Qt::TimerType type) { m_timer.setTimerType(type); }
    bool isActive() const;

    void start(int ms);
    void start();
    void stop();

signals:
    void timeout();

private:
    void clockMoved();

    Clock* m_clock;
    QTimer m_timer;
    int m_interval = 0;
    bool m_singleShot = false;
    // On a clock that drives its timers: when the timer fires next, or -1.
    qint64 m_due = -1;
};
