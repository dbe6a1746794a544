#include "FirstPaint.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>

FirstPaint::FirstPaint(QWidget* widget)
    : QObject(widget)
{
    widget->installEventFilter(this);
}

bool FirstPaint::wait(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // Wakes the blocking processEvents() below at the deadline.
    QTimer wake;
    wake.start(timeoutMs);
    // The filter sees the paint before it runs; processEvents() returns only
    // after it ran.
    while (!m_painted && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return m_painted;
}

bool FirstPaint::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::Paint)
        m_painted = true;
    return false;
}
