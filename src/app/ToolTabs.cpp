#include "ToolTabs.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QPainter>

#include "app/ToolTabsAccessible.h"
#include "ui/PanelStyle.h"

namespace {
constexpr qreal TrackRadius = 7;
constexpr int TrackPadding = 2;
constexpr int FontPixelSize = 13;
constexpr int MinimumFontPixelSize = 9;
constexpr int TextMargin = 2;
} // namespace

class ToolTabs::Segment : public QAbstractButton
{
public:
    Segment(const QString& title, ToolTabs* tabs)
        : QAbstractButton(tabs)
        , m_tabs(tabs)
    {
        setText(title);
        setAccessibleName(title);
        setCheckable(true);
        setAttribute(Qt::WA_Hover);
        setFont(PanelStyle::roundedFont(FontPixelSize));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = palette();
        const bool dark = PanelStyle::isDark(pal);
        const QRectF pill = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = TrackRadius - TrackPadding;
        if (isChecked()) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, dark ? 60 : 22));
            p.drawRoundedRect(pill.translated(0, 0.75), radius, radius);
            p.setBrush(dark ? QColor(255, 255, 255, 48) : pal.color(QPalette::Base));
            p.drawRoundedRect(pill, radius, radius);
        } else if (isDown() || underMouse()) {
            p.setPen(Qt::NoPen);
            QColor wash = pal.color(QPalette::WindowText);
            wash.setAlphaF(isDown() ? 0.10 : 0.05);
            p.setBrush(wash);
            p.drawRoundedRect(pill, radius, radius);
        }
        if (hasFocus()) {
            QColor ring = pal.color(QPalette::Highlight);
            ring.setAlphaF(0.8);
            p.setPen(QPen(ring, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius, radius);
        }
        QColor textColor = pal.color(QPalette::WindowText);
        if (!isChecked())
            textColor.setAlphaF(0.8);
        p.setPen(textColor);
        // A narrow panel gets smaller type rather than overlapping labels.
        const int room = width() - 2 * TextMargin;
        int pixelSize = FontPixelSize;
        QFont fitted = PanelStyle::roundedFont(pixelSize);
        while (pixelSize > MinimumFontPixelSize && QFontMetrics(fitted).horizontalAdvance(text()) > room)
            fitted.setPixelSize(--pixelSize);
        p.setFont(fitted);
        p.drawText(rect().adjusted(TextMargin, 0, -TextMargin, 0), Qt::AlignCenter,
                   QFontMetrics(fitted).elidedText(text(), Qt::ElideRight, room));
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
            m_tabs->stepFrom(this, event->key());
            event->accept();
            return;
        default:
            QAbstractButton::keyPressEvent(event);
        }
    }

private:
    ToolTabs* m_tabs;
};

ToolTabs::ToolTabs(const QStringList& titles, QWidget* parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(ToolTabsAccessible::create);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    m_group->setExclusive(true);
    for (int i = 0; i < titles.size(); ++i) {
        auto* segment = new Segment(titles.at(i), this);
        m_group->addButton(segment, i);
        m_segments.append(segment);
    }
    if (!m_segments.isEmpty())
        m_segments.first()->setChecked(true);
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        ToolTabsAccessible::announceSelection(m_segments.value(id));
        if (!checked)
            return;
        updateFocusPolicies();
        update();
        emit currentIndexChanged(id);
    });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(ControlHeight);
    updateFocusPolicies();
}

int ToolTabs::currentIndex() const
{
    return m_group->checkedId();
}

void ToolTabs::setCurrentIndex(int index)
{
    if (QAbstractButton* button = segment(index))
        button->setChecked(true);
}

QAbstractButton* ToolTabs::segment(int index) const
{
    return index >= 0 && index < count() ? m_segments.at(index) : nullptr;
}

bool ToolTabs::hasSegmentFocus() const
{
    for (Segment* segment : m_segments) {
        if (segment->hasFocus())
            return true;
    }
    return false;
}

QSize ToolTabs::sizeHint() const
{
    const QFontMetrics metrics(PanelStyle::roundedFont(FontPixelSize));
    int widest = 0;
    for (Segment* segment : m_segments)
        widest = qMax(widest, metrics.horizontalAdvance(segment->text()));
    return QSize(count() * (widest + 24) + 2 * TrackPadding, ControlHeight);
}

QSize ToolTabs::minimumSizeHint() const
{
    return QSize(count() * 40, ControlHeight);
}

void ToolTabs::stepFrom(Segment* segment, int key)
{
    const int from = int(m_segments.indexOf(segment));
    const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
    int to = from;
    if (key == Qt::Key_Home)
        to = 0;
    else if (key == Qt::Key_End)
        to = count() - 1;
    else if (key == Qt::Key_Up || key == (rightToLeft ? Qt::Key_Right : Qt::Key_Left))
        to = from - 1;
    else
        to = from + 1;
    to = qBound(0, to, count() - 1);
    if (to != from)
        setCurrentIndex(to);
}

void ToolTabs::updateFocusPolicies()
{
    // Only the chosen segment is a Tab stop, so Tab passes the row in one step.
    // Focus never moves on a click: the chosen tool keeps the typing.
    const bool hadFocus = hasSegmentFocus();
    Segment* current = m_segments.value(currentIndex(), nullptr);
    if (current) {
        current->setFocusPolicy(Qt::TabFocus);
        if (hadFocus)
            current->setFocus(Qt::TabFocusReason);
    }
    for (Segment* segment : m_segments) {
        if (segment != current)
            segment->setFocusPolicy(Qt::NoFocus);
    }
}

void ToolTabs::layoutSegments()
{
    const QRect inner = rect().adjusted(TrackPadding, TrackPadding, -TrackPadding, -TrackPadding);
    if (m_segments.isEmpty())
        return;
    const int n = count();
    for (int i = 0; i < n; ++i) {
        const int left = inner.left() + inner.width() * i / n;
        const int right = inner.left() + inner.width() * (i + 1) / n;
        const int index = layoutDirection() == Qt::RightToLeft ? n - 1 - i : i;
        m_segments.at(index)->setGeometry(left, inner.top(), right - left, inner.height());
    }
}

void ToolTabs::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutSegments();
}

void ToolTabs::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange)
        layoutSegments();
}

void ToolTabs::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    QColor track = pal.color(QPalette::WindowText);
    track.setAlphaF(PanelStyle::isDark(pal) ? 0.12 : 0.07);
    p.setPen(Qt::NoPen);
    p.setBrush(track);
    p.drawRoundedRect(QRectF(rect()), TrackRadius, TrackRadius);

    // Hairlines between two unchosen neighbours; the chosen pill needs none.
    QColor hairline = pal.color(QPalette::WindowText);
    hairline.setAlphaF(0.15);
    p.setPen(QPen(hairline, 1));
    for (int i = 0; i + 1 < count(); ++i) {
        Segment* a = m_segments.at(i);
        Segment* b = m_segments.at(i + 1);
        if (a->isChecked() || b->isChecked())
            continue;
        const QRect ra = a->geometry();
        const QRect rb = b->geometry();
        const qreal x = (qMin(ra.right(), rb.right()) + qMax(ra.left(), rb.left()) + 1) / 2.0;
        const int inset = 6;
        p.drawLine(QPointF(x, ra.top() + inset), QPointF(x, ra.bottom() + 1 - inset));
    }
}
