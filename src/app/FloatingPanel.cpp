#include "FloatingPanel.h"

#include <QAbstractButton>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "app/PanelGeometry.h"
#include "platform/PanelWindowHints.h"

namespace {
constexpr int GripThickness = 5;
constexpr int ButtonDiameter = 12;
// Drawn at 12 px, pressed anywhere within 20.
constexpr int ButtonHitSize = 20;

// A small round window button that shows its glyph on hover or focus.
class WindowButton : public QAbstractButton
{
public:
    enum Kind
    {
        Close,
        Minimize,
        Zoom
    };

    WindowButton(Kind kind, QWidget* parent)
        : QAbstractButton(parent)
        , m_kind(kind)
    {
        static const char* const names[] = {"Close", "Minimize", "Zoom"};
        setAccessibleName(QString::fromLatin1(names[kind]));
        setToolTip(accessibleName());
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::ArrowCursor);
        setAttribute(Qt::WA_Hover);
        setFixedSize(ButtonHitSize, ButtonHitSize);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal inset = (ButtonHitSize - ButtonDiameter) / 2.0;
        const QRectF circle(inset, inset, ButtonDiameter, ButtonDiameter);
        const bool hot = underMouse() || hasFocus();
        const QPalette& pal = palette();
        // Quiet grey discs with their glyph; close warms to red under the pointer.
        QColor fill = pal.color(QPalette::WindowText);
        fill.setAlphaF(hot ? 0.22 : 0.12);
        if (hot && m_kind == Close)
            fill = QColor(0xD9, 0x4F, 0x4F);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(circle);
        QColor glyph = hot && m_kind == Close ? QColor(Qt::white) : pal.color(QPalette::WindowText);
        glyph.setAlphaF(hot ? 0.9 : (window()->isActiveWindow() ? 0.6 : 0.35));
        p.setPen(QPen(glyph, 1.2, Qt::SolidLine, Qt::RoundCap));
        const QPointF c = circle.center();
        const double r = 2.8;
        switch (m_kind) {
        case Close:
            p.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
            p.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
            break;
        case Minimize:
            p.drawLine(c + QPointF(-r, 0), c + QPointF(r, 0));
            break;
        case Zoom:
            p.drawLine(c + QPointF(-r, 0), c + QPointF(r, 0));
            p.drawLine(c + QPointF(0, -r), c + QPointF(0, r));
            break;
        }
    }

private:
    Kind m_kind;
};
} // namespace

// An invisible strip along an edge that hands a press to the window manager
// as a resize.
class FloatingPanel::EdgeGrip : public QWidget
{
public:
    EdgeGrip(Qt::Edges edges, QWidget* parent)
        : QWidget(parent)
        , m_edges(edges)
    {
        if (edges == (Qt::LeftEdge | Qt::BottomEdge))
            setCursor(Qt::SizeBDiagCursor);
        else if (edges == (Qt::RightEdge | Qt::BottomEdge))
            setCursor(Qt::SizeFDiagCursor);
        else if (edges & Qt::BottomEdge)
            setCursor(Qt::SizeVerCursor);
        else
            setCursor(Qt::SizeHorCursor);
    }

    Qt::Edges edges() const { return m_edges; }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && window()->windowHandle())
            window()->windowHandle()->startSystemResize(m_edges);
    }

private:
    Qt::Edges m_edges;
};

FloatingPanel::FloatingPanel(const QRect& geometry, PanelWindowHints& hints)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_hints(hints)
{
    setWindowTitle(QStringLiteral("Quillnook"));
    setAccessibleName(QStringLiteral("Quillnook"));
    setObjectName(QStringLiteral("FloatingPanel"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // On a screen smaller than the minimum the panel is as large as the screen.
    const QScreen* screen = QGuiApplication::screenAt(geometry.center());
    setMinimumSize(screen ? PanelGeometry::minimumSize(QRectF(screen->availableGeometry())).toSize()
                          : QSize(int(PanelGeometry::MinimumWidth), int(PanelGeometry::MinimumHeight)));
    setGeometry(geometry);
    m_placed = geometry;

    // A monitor unplugged or a resolution lowered must not strand the panel
    // off screen; several changes in a row are handled once.
    m_screensChanged = new QTimer(this);
    m_screensChanged->setSingleShot(true);
    m_screensChanged->setInterval(0);
    connect(m_screensChanged, &QTimer::timeout, this, &FloatingPanel::screensChanged);
    connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        noticeScreensChange();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, &FloatingPanel::noticeScreensChange);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, &FloatingPanel::noticeScreensChange);
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* close = new WindowButton(WindowButton::Close, this);
    auto* minimize = new WindowButton(WindowButton::Minimize, this);
    auto* zoom = new WindowButton(WindowButton::Zoom, this);
    m_closeButton = close;
    m_minimizeButton = minimize;
    m_zoomButton = zoom;
    connect(close, &QAbstractButton::clicked, this, &FloatingPanel::orderOut);
    connect(minimize, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(zoom, &QAbstractButton::clicked, this, &FloatingPanel::toggleZoom);

    for (const Qt::Edges edges : {Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::BottomEdge),
                                  Qt::LeftEdge | Qt::BottomEdge, Qt::RightEdge | Qt::BottomEdge})
        m_grips.append(new EdgeGrip(edges, this));
    layoutChrome();
}

FloatingPanel::~FloatingPanel() = default;

void FloatingPanel::setContentView(QWidget* content)
{
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    static_cast<QVBoxLayout*>(layout())->addWidget(content);
    layoutChrome();
}

bool FloatingPanel::isShownOnScreen() const
{
    return isVisible() && !isMinimized();
}

void FloatingPanel::orderFrontAndFocus()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void FloatingPanel::orderOut()
{
    hide();
}

void FloatingPanel::toggleZoom()
{
    QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    if (m_geometryBeforeZoom.isValid() && geometry() == area) {
        setGeometry(m_geometryBeforeZoom);
        m_geometryBeforeZoom = QRect();
    } else {
        m_geometryBeforeZoom = geometry();
        setGeometry(area);
    }
}

void FloatingPanel::watchScreen(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, &FloatingPanel::noticeScreensChange);
    connect(screen, &QScreen::availableGeometryChanged, this, &FloatingPanel::noticeScreensChange);
}

void FloatingPanel::noticeScreensChange()
{
    if (!m_screensChanged->isActive())
        m_wherePlacedAtChange = isWherePlaced();
    m_screensChanged->start();
}

void FloatingPanel::screensChanged()
{
    QScreen* screen = this->screen();
    if (!m_wherePlacedAtChange || !screen) {
        keepOnScreen();
        return;
    }
    const QRect area = screen->availableGeometry();
    const QRect placed = PanelGeometry::fitInside(PanelGeometry::initialRect(QRectF(area)).toRect(), area);
    setMinimumSize(PanelGeometry::minimumSize(QRectF(area)).toSize());
    m_placed = placed;
    setGeometry(placed);
}

void FloatingPanel::keepOnScreen()
{
    const QRect frame = geometry();
    QScreen* best = nullptr;
    qint64 bestOverlap = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        if (area.contains(frame)) {
            // A screen that grew back allows the full minimum again.
            setMinimumSize(PanelGeometry::minimumSize(QRectF(area)).toSize());
            return;
        }
        const QRect overlap = area.intersected(frame);
        const qint64 size = overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
        if (size > bestOverlap) {
            best = screen;
            bestOverlap = size;
        }
    }
    if (!best)
        best = QGuiApplication::screenAt(QCursor::pos());
    if (!best)
        best = QGuiApplication::primaryScreen();
    if (!best)
        return;
    const QRect area = best->availableGeometry();
    setMinimumSize(PanelGeometry::minimumSize(QRectF(area)).toSize());
    setGeometry(PanelGeometry::fitInside(frame, area));
}

void FloatingPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The window manager forgets these when the window is withdrawn, so they
    // go on before every map and once more when the window is up.
    m_hints.apply(windowHandle());
    // Once more when the window is up, and again a little later in case a busy
    // window manager was still clearing the window's last withdrawal.
    for (const int delay : {0, 300}) {
        QTimer::singleShot(delay, this, [this] {
            if (isVisible())
                m_hints.apply(windowHandle());
        });
    }
}

void FloatingPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutChrome();
}

void FloatingPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        for (auto* button : {m_closeButton, m_minimizeButton, m_zoomButton})
            button->update();
    }
}

void FloatingPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(QPen(palette().color(QPalette::Mid), 1));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void FloatingPanel::layoutChrome()
{
    // Circles 20 px apart from centre to centre, the first at x = 18; the
    // hit areas meet without a gap.
    int x = 18 - ButtonHitSize / 2;
    for (auto* button : {m_closeButton, m_minimizeButton, m_zoomButton}) {
        button->move(x, WindowButtonsCenterY - ButtonHitSize / 2);
        button->raise();
        x += ButtonHitSize;
    }
    for (EdgeGrip* grip : m_grips) {
        const Qt::Edges edges = grip->edges();
        QRect r;
        if (edges == Qt::LeftEdge)
            r = QRect(0, WindowButtonsCenterY + 12, GripThickness, height());
        else if (edges == Qt::RightEdge)
            r = QRect(width() - GripThickness, 6, GripThickness, height());
        else if (edges == Qt::BottomEdge)
            r = QRect(0, height() - GripThickness, width(), GripThickness);
        else if (edges & Qt::LeftEdge)
            r = QRect(0, height() - 3 * GripThickness, 3 * GripThickness, 3 * GripThickness);
        else
            r = QRect(width() - 3 * GripThickness, height() - 3 * GripThickness, 3 * GripThickness, 3 * GripThickness);
        grip->setGeometry(r);
        grip->raise();
    }
}
