#include "KeyboardActivation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

KeyboardActivation::KeyboardActivation(QObject* parent)
    : QObject(parent)
{
    if (qApp)
        qApp->installEventFilter(this);
}

bool KeyboardActivation::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || !button->hasFocus() || !button->isEnabled())
        return QObject::eventFilter(watched, event);
    if (!key->isAutoRepeat())
        button->animateClick();
    return true;
}
