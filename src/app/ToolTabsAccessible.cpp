#include "ToolTabsAccessible.h"

#include <QAbstractButton>
#include <QAccessibleWidget>

#include "app/ToolTabs.h"

namespace {
class SegmentAccessible : public QAccessibleWidget
{
public:
    explicit SegmentAccessible(QAbstractButton* segment)
        : QAccessibleWidget(segment, QAccessible::PageTab)
    { }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = segment()->isChecked();
        state.checkable = false;
        state.checked = false;
        return state;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && segment()->accessibleName().isEmpty())
            return segment()->text();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return QStringList {pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction())
            segment()->click();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    QAbstractButton* segment() const { return static_cast<QAbstractButton*>(object()); }
};
} // namespace

QAccessibleInterface* ToolTabsAccessible::create(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("ToolTabs"))
        return new QAccessibleWidget(widget, QAccessible::PageTabList);
    // The segments are plain buttons inside the switcher.
    if (className == QLatin1String("QAbstractButton") && qobject_cast<ToolTabs*>(widget->parentWidget()))
        return new SegmentAccessible(static_cast<QAbstractButton*>(widget));
    return nullptr;
}

void ToolTabsAccessible::announceSelection(QObject* segment)
{
    if (!QAccessible::isActive())
        return;
    QAccessible::State changed;
    changed.selected = true;
    QAccessibleStateChangeEvent event(segment, changed);
    QAccessible::updateAccessibility(&event);
}
