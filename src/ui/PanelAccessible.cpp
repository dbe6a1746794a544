#include "PanelAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QWidget>

namespace {
class OwnFocusAccessible : public QAccessibleWidget
{
public:
    using QAccessibleWidget::QAccessibleWidget;

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.focused = widget() == QApplication::focusWidget();
        return s;
    }
};

// Views that hand the keyboard to one of their controls through a focus proxy.
QAccessibleInterface* create(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    static const QStringList proxied {QStringLiteral("NotesView"), QStringLiteral("FilesView"),
                                      QStringLiteral("SettingsView"), QStringLiteral("FileDropZone")};
    if (proxied.contains(className))
        return new OwnFocusAccessible(static_cast<QWidget*>(object));
    if (className == QLatin1String("QuietStack"))
        return new OwnFocusAccessible(static_cast<QWidget*>(object), QAccessible::Client);
    return nullptr;
}
} // namespace

void PanelAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(create);
        return true;
    }();
    Q_UNUSED(installed);
}

QuietStack::QuietStack(QWidget* parent)
    : QStackedWidget(parent)
{
    PanelAccessible::install();
}
