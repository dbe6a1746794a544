#include "PageControls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace {
constexpr int FocusMargin = 2;
constexpr int ArrowSize = 9;
constexpr int Gap = 4;

class LinkAccessible : public QAccessibleWidget
{
public:
    explicit LinkAccessible(LinkButton* link)
        : QAccessibleWidget(link, QAccessible::Link)
    { }

    QString text(QAccessible::Text t) const override
    {
        const auto* link = static_cast<LinkButton*>(widget());
        if (t == QAccessible::Name)
            return link->accessibleName().isEmpty() ? link->text() : link->accessibleName();
        if (t == QAccessible::Value)
            return link->url().toString();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& name) override
    {
        if (name == pressAction())
            static_cast<LinkButton*>(widget())->click();
    }
};

class DisclosureAccessible : public QAccessibleWidget
{
public:
    explicit DisclosureAccessible(DisclosureButton* button)
        : QAccessibleWidget(button, QAccessible::Button)
    { }

    QString text(QAccessible::Text t) const override
    {
        const auto* button = static_cast<DisclosureButton*>(widget());
        if (t == QAccessible::Name && button->accessibleName().isEmpty())
            return button->text();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        const bool expanded = static_cast<DisclosureButton*>(widget())->isExpanded();
        s.expandable = true;
        s.expanded = expanded;
        s.collapsed = !expanded;
        return s;
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& name) override
    {
        if (name == pressAction())
            static_cast<DisclosureButton*>(widget())->click();
    }
};

QAccessibleInterface* pageControlsFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("LinkButton"))
        return new LinkAccessible(static_cast<LinkButton*>(object));
    if (className == QLatin1String("DisclosureButton"))
        return new DisclosureAccessible(static_cast<DisclosureButton*>(object));
    return nullptr;
}

void installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(pageControlsFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void paintFocusRing(QPainter& p, const QWidget& widget)
{
    if (!widget.hasFocus())
        return;
    QColor ring = widget.palette().color(QPalette::Highlight);
    ring.setAlphaF(0.8);
    p.setPen(QPen(ring, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(widget.rect()).adjusted(1, 1, -1, -1), 4, 4);
}
} // namespace

LinkButton::LinkButton(const QString& text, const QUrl& url, QWidget* parent)
    : QAbstractButton(parent)
    , m_url(url)
{
    installFactory();
    setText(text);
    setToolTip(url.toString());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] { QDesktopServices::openUrl(m_url); });
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text()) + 2 * FocusMargin, metrics.height() + 2 * FocusMargin);
}

void LinkButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintFocusRing(p, *this);
    QFont underlined = font();
    underlined.setUnderline(true);
    p.setFont(underlined);
    p.setPen(palette().color(isDown() ? QPalette::LinkVisited : QPalette::Link));
    p.drawText(rect().adjusted(FocusMargin, FocusMargin, -FocusMargin, -FocusMargin), Qt::AlignLeft | Qt::AlignVCenter,
               text());
}

DisclosureButton::DisclosureButton(const QString& text, QWidget* parent)
    : QAbstractButton(parent)
{
    installFactory();
    setText(text);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] { setExpanded(!m_expanded); });
}

void DisclosureButton::setExpanded(bool expanded)
{
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    update();
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.expanded = true;
        changed.collapsed = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    emit expandedChanged(expanded);
}

QSize DisclosureButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int iconWidth = icon().isNull() ? 0 : iconSize().width() + Gap;
    const int height = std::max({metrics.height(), iconSize().height(), ArrowSize});
    return QSize(ArrowSize + Gap + iconWidth + metrics.horizontalAdvance(text()) + 2 * FocusMargin + 2,
                 height + 2 * FocusMargin + 2);
}

void DisclosureButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintFocusRing(p, *this);
    const QRect inner = rect().adjusted(FocusMargin + 1, FocusMargin, -FocusMargin, -FocusMargin);
    int x = inner.left();

    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = QRect(x, inner.center().y() - ArrowSize / 2, ArrowSize, ArrowSize);
    style()->drawPrimitive(m_expanded ? QStyle::PE_IndicatorArrowDown : QStyle::PE_IndicatorArrowRight, &arrow, &p,
                           this);
    x += ArrowSize + Gap;

    if (!icon().isNull()) {
        const QSize size = iconSize();
        icon().paint(&p, QRect(QPoint(x, inner.center().y() - size.height() / 2), size));
        x += size.width() + Gap;
    }
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(QRect(x, inner.top(), inner.right() - x + 1, inner.height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}
