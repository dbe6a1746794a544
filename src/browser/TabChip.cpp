#include "TabChip.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVariantAnimation>

#include "browser/BrowserTab.h"
#include "ui/SymbolButton.h"

namespace {
constexpr int CaptionPixelSize = 11;
constexpr int ChevronGlyph = 8;
constexpr int CloseGlyph = 7;
constexpr int FadeMs = 120;

// Screen readers meet a chip as a page tab named by its title, selected when
// it is the active tab; pressing it selects it.
class TabChipAccessible : public QAccessibleWidget
{
public:
    explicit TabChipAccessible(TabChip* chip)
        : QAccessibleWidget(chip, QAccessible::PageTab)
    { }

    TabChip* chip() const { return static_cast<TabChip*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return chip()->title();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.selectable = true;
        s.selected = chip()->isActive();
        return s;
    }

    QStringList actionNames() const override { return QStringList {pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& name) override
    {
        if (name == pressAction())
            emit chip()->selectRequested();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* chipAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TabChip") && object && object->isWidgetType())
        return new TabChipAccessible(static_cast<TabChip*>(object));
    return nullptr;
}
} // namespace

TabChip::TabChip(BrowserTab& tab, QWidget* parent)
    : QWidget(parent)
    , m_tab(tab)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(chipAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    m_left = new SymbolButton(SymbolButton::Symbol::ChevronLeft, QStringLiteral("Move Tab Left"), ChevronGlyph,
                              ChevronWidth, this);
    m_title = new QLabel(this);
    QFont caption = font();
    caption.setPixelSize(CaptionPixelSize);
    m_title->setFont(caption);
    m_title->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_right = new SymbolButton(SymbolButton::Symbol::ChevronRight, QStringLiteral("Move Tab Right"), ChevronGlyph,
                               ChevronWidth, this);
    m_close = new SymbolButton(SymbolButton::Symbol::Close, QStringLiteral("Close Tab"), CloseGlyph, 0, this);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(3);
    row->addWidget(m_left, 0, Qt::AlignVCenter);
    row->addWidget(m_title, 0, Qt::AlignVCenter);
    row->addWidget(m_right, 0, Qt::AlignVCenter);
    row->addWidget(m_close, 0, Qt::AlignVCenter);

    m_fade = new QVariantAnimation(this);
    m_fade->setDuration(FadeMs);
    m_fade->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { applyReveal(value.toReal()); });

    connect(m_left, &QAbstractButton::clicked, this, &TabChip::moveLeftRequested);
    connect(m_right, &QAbstractButton::clicked, this, &TabChip::moveRightRequested);
    connect(m_close, &QAbstractButton::clicked, this, &TabChip::closeRequested);
    connect(&m_tab, &BrowserTab::pageTitleChanged, this, &TabChip::showTitle);

    showTitle();
    applyReveal(0.0);
}

QString TabChip::title() const
{
    return m_tab.pageTitle();
}

void TabChip::showTitle()
{
    const QString title = m_tab.pageTitle();
    m_title->setText(m_title->fontMetrics().elidedText(title, Qt::ElideRight, TitleMaxWidth));
    m_title->setToolTip(title);
    setToolTip(title);
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void TabChip::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    update();
    QAccessible::State changed;
    changed.selected = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void TabChip::setCanMove(bool left, bool right)
{
    m_canMoveLeft = left;
    m_canMoveRight = right;
    applyReveal(m_reveal);
}

QColor TabChip::tint() const
{
    QColor color = m_active ? palette().color(QPalette::Highlight) : QColor(Qt::gray);
    color.setAlphaF(m_active ? ActiveTint : InactiveTint);
    return color;
}

void TabChip::updateReveal()
{
    const bool hovering = m_pointerInside || hasFocus();
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    // Enabled at once, not with the fade, which may have nothing to animate.
    applyReveal(m_reveal);
    m_fade->stop();
    m_fade->setStartValue(m_reveal);
    m_fade->setEndValue(hovering ? 1.0 : 0.0);
    m_fade->start();
}

void TabChip::applyReveal(qreal reveal)
{
    m_reveal = reveal;
    // A chevron takes clicks only once it is meant to show, not while it
    // fades out, and never when the tab cannot move that way.
    m_left->setOpacity(m_canMoveLeft ? reveal : 0.0);
    m_left->setEnabled(m_canMoveLeft && m_hovering);
    m_right->setOpacity(m_canMoveRight ? reveal : 0.0);
    m_right->setEnabled(m_canMoveRight && m_hovering);
}

void TabChip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(tint());
    p.drawRoundedRect(QRectF(rect()), Radius, Radius);
    if (hasFocus()) {
        QColor ring = palette().color(QPalette::Highlight);
        ring.setAlphaF(0.8);
        p.setPen(QPen(ring, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), Radius, Radius);
    }
}

void TabChip::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    m_pointerInside = true;
    updateReveal();
}

void TabChip::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_pointerInside = false;
    updateReveal();
}

void TabChip::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    updateReveal();
    update();
}

void TabChip::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    updateReveal();
    update();
}

void TabChip::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void TabChip::mouseReleaseEvent(QMouseEvent* event)
{
    const bool tapped = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (tapped)
        emit selectRequested();
}

void TabChip::keyPressEvent(QKeyEvent* event)
{
    const bool shift = event->modifiers() == Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit selectRequested();
        return;
    case Qt::Key_Delete:
        emit closeRequested();
        return;
    case Qt::Key_Left:
        if (shift && m_canMoveLeft) {
            emit moveLeftRequested();
            return;
        }
        break;
    case Qt::Key_Right:
        if (shift && m_canMoveRight) {
            emit moveRightRequested();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void TabChip::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        showTitle();
}
