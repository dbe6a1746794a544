#pragma once

#include <QObject>

// Return and Enter press a focused button, as Space does. Qt leaves this to
// dialogs' default buttons; the panel and its settings page have none, and
// their own drawn buttons (the gear, the window buttons, the tool tabs, the
// disclosure arrow) would otherwise ignore Return.
class KeyboardActivation : public QObject
{
    Q_OBJECT

public:
    // Filters the whole application's key presses while it lives; the
    // application delegate holds one for the run.
    explicit KeyboardActivation(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
