#pragma once

#include <QObject>

// Waits until a widget has been painted on screen once, without the fixed
// sleeps of QTest's waits that would blur a figure in milliseconds.
class FirstPaint : public QObject
{
    Q_OBJECT

public:
    explicit FirstPaint(QWidget* widget);

    // Runs the event loop until the widget's paint event has been handled;
    // false when that did not happen within timeoutMs.
    bool wait(int timeoutMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_painted = false;
};
