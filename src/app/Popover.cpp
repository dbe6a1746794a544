#include "Popover.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {
constexpr int ScreenMargin = 6;
constexpr int BorderWidth = 1;
constexpr int MinimumContentHeight = 120;
// A window manager that never answers the activation still sees the popover go.
constexpr int DismissTimeoutMs = 1000;
} // namespace

Popover::Popover(QWidget* anchor, QWidget* parent)
    // A tool window of the panel rather than a popup: a popup would grab the
    // keyboard and the pointer, and keep the shortcut from hiding the panel.
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint)
    , m_anchor(anchor)
{
    setWindowTitle(QStringLiteral("Settings & Help"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(BorderWidth, ArrowHeight + BorderWidth, BorderWidth, BorderWidth);
    layout->setSpacing(0);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &Popover::focusWindowChanged);
    m_dismissTimeout = new QTimer(this);
    m_dismissTimeout->setSingleShot(true);
    m_dismissTimeout->setInterval(DismissTimeoutMs);
    connect(m_dismissTimeout, &QTimer::timeout, this, &Popover::finishDismiss);
}

Popover::~Popover()
{
    qApp->removeEventFilter(this);
}

void Popover::setContent(QWidget* content, const QSize& preferredSize)
{
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    m_preferredSize = preferredSize;
    layout()->addWidget(content);
    setWindowTitle(content->accessibleName().isEmpty() ? windowTitle() : content->accessibleName());
    setFixedSize(preferredSize.width() + 2 * BorderWidth, preferredSize.height() + ArrowHeight + 2 * BorderWidth);
}

void Popover::popup(const QRect& anchorRect)
{
    if (!m_anchor)
        return;
    const QRect anchor(m_anchor->mapToGlobal(anchorRect.topLeft()), anchorRect.size());
    QSize size(m_preferredSize.width() + 2 * BorderWidth, m_preferredSize.height() + ArrowHeight + 2 * BorderWidth);
    QPoint topLeft(anchor.center().x() - size.width() / 2, anchor.bottom() + 1);
    if (QScreen* screen = m_anchor->screen()) {
        const QRect area
            = screen->availableGeometry().adjusted(ScreenMargin, ScreenMargin, -ScreenMargin, -ScreenMargin);
        // Smaller where the screen is: the page then scrolls.
        size.setWidth(qMin(size.width(), area.width()));
        size.setHeight(qBound(MinimumContentHeight, area.bottom() + 1 - topLeft.y(), size.height()));
        topLeft.setX(qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() + 1 - size.width())));
    }
    setFixedSize(size);
    m_arrowX = qBound(CornerRadius + ArrowWidth / 2.0, qreal(anchor.center().x() - topLeft.x()),
                      width() - CornerRadius - ArrowWidth / 2.0);
    move(topLeft);
    updateMask();
    update();
    show();
    raise();
    activateWindow();
}

QPainterPath Popover::outline() const
{
    QPainterPath body;
    body.addRoundedRect(QRectF(0, ArrowHeight, width(), height() - ArrowHeight), CornerRadius, CornerRadius);
    QPainterPath arrow;
    arrow.moveTo(m_arrowX - ArrowWidth / 2.0, ArrowHeight + 1);
    arrow.lineTo(m_arrowX, 0);
    arrow.lineTo(m_arrowX + ArrowWidth / 2.0, ArrowHeight + 1);
    arrow.closeSubpath();
    return body.united(arrow);
}

void Popover::updateMask()
{
    // Without a compositor a window cannot be see-through; a shaped window
    // still gives it its rounded corners and arrow.
    setMask(QRegion(outline().toFillPolygon().toPolygon()));
}

void Popover::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.22);
    // A 2-px stroke clipped to the shape leaves a 1-px border inside it.
    const QPainterPath shape = outline();
    p.setClipPath(shape);
    p.setPen(QPen(border, 2));
    p.setBrush(palette().color(QPalette::Window));
    p.drawPath(shape);
}

void Popover::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        dismiss();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Popover::dismiss()
{
    if (!isVisible() || m_dismissing)
        return;
    QWidget* panel = m_anchor ? m_anchor->window() : nullptr;
    if (!panel || !panel->isVisible() || !panel->windowHandle()) {
        hide();
        return;
    }
    // Back where the keyboard user came from, once the panel holds the focus.
    m_anchor->setFocus(Qt::PopupFocusReason);
    if (QGuiApplication::focusWindow() == panel->windowHandle()) {
        hide();
        return;
    }
    m_dismissing = true;
    panel->activateWindow();
    m_dismissTimeout->start();
}

void Popover::finishDismiss()
{
    if (!m_dismissing)
        return;
    m_dismissing = false;
    m_dismissTimeout->stop();
    hide();
    if (m_anchor && m_anchor->window()->isActiveWindow())
        m_anchor->setFocus(Qt::PopupFocusReason);
}

bool Popover::eventFilter(QObject* watched, QEvent* event)
{
    // Presses in the application's other windows close the popover; the press
    // goes on where it was aimed, except on the anchor.
    const auto type = event->type();
    // Keys typed right after Escape, still sent to this window before the
    // panel took the focus, belong to the panel.
    if (m_dismissing && (type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride)
        && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
        QWidget* panel = m_anchor ? m_anchor->window() : nullptr;
        QWidget* target = panel ? (panel->focusWidget() ? panel->focusWidget() : panel) : nullptr;
        if (target && type != QEvent::ShortcutOverride) {
            const auto* key = static_cast<QKeyEvent*>(event);
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(),
                           key->nativeModifiers(), key->text(), key->isAutoRepeat(), key->count());
            QApplication::sendEvent(target, &copy);
        }
        return true;
    }
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) && isVisible()
        && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != this) {
            const bool onAnchor = m_anchor && (widget == m_anchor || m_anchor->isAncestorOf(widget));
            hide();
            if (onAnchor) {
                m_swallowAnchorRelease = true;
                return true;
            }
        }
    } else if (type == QEvent::MouseButtonRelease && m_swallowAnchorRelease && watched == m_anchor) {
        m_swallowAnchorRelease = false;
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Popover::focusWindowChanged(QWindow* window)
{
    // The focus went to another program (no window of ours has it), or to a
    // window of ours other than the panel we belong to.
    if (!isVisible())
        return;
    const QWindow* own = windowHandle();
    const QWindow* panel = m_anchor && m_anchor->window() ? m_anchor->window()->windowHandle() : nullptr;
    if (m_dismissing && window == panel) {
        finishDismiss();
        return;
    }
    if (window == own || window == panel)
        return;
    m_dismissing = false;
    m_dismissTimeout->stop();
    hide();
}

void Popover::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    qApp->installEventFilter(this);
    // Keyboard users land on the page's first control.
    if (m_content)
        m_content->setFocus(Qt::PopupFocusReason);
    emit shownChanged(true);
}

void Popover::hideEvent(QHideEvent* event)
{
    m_dismissing = false;
    m_dismissTimeout->stop();
    QWidget::hideEvent(event);
    qApp->removeEventFilter(this);
    emit shownChanged(false);
}

void Popover::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateMask();
}
