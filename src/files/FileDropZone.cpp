#include "FileDropZone.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include "ui/FileSymbols.h"
#include "ui/PanelStyle.h"

namespace {
constexpr qreal ZoneRadius = 16;
constexpr int SymbolSize = 34;

QColor mix(const QColor& from, const QColor& to, qreal t)
{
    return QColor::fromRgbF(
        from.redF() + (to.redF() - from.redF()) * t, from.greenF() + (to.greenF() - from.greenF()) * t,
        from.blueF() + (to.blueF() - from.blueF()) * t, from.alphaF() + (to.alphaF() - from.alphaF()) * t);
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(alpha);
    return color;
}
} // namespace

FileDropZone::FileDropZone(QWidget* parent)
    : QWidget(parent)
{
    m_zone = new QWidget(this);
    m_zone->setMaximumHeight(MaxZoneHeight);
    m_zone->installEventFilter(this);

    m_symbol = new QWidget(m_zone);
    m_symbol->setFixedSize(SymbolSize, SymbolSize);
    m_symbol->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_title = new QLabel(QStringLiteral("Drop your files here"), m_zone);
    m_title->setAlignment(Qt::AlignCenter);
    m_line = new QLabel(QStringLiteral("PDFs, slides, docs, images — anything you need on hand"), m_zone);
    m_line->setAlignment(Qt::AlignCenter);
    m_line->setWordWrap(true);
    m_choose = new QPushButton(QStringLiteral("Choose Files…"), m_zone);
    m_choose->setAccessibleName(QStringLiteral("Choose Files…"));
    m_choose->setAutoDefault(false);
    connect(m_choose, &QPushButton::clicked, this, &FileDropZone::chooseRequested);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(m_title);
    texts->addWidget(m_line);
    texts->setContentsMargins(0, 0, 0, 0);
    m_line->setContentsMargins(20, 0, 20, 0);

    auto* stack = new QVBoxLayout(m_zone);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(10);
    stack->addStretch(1);
    stack->addWidget(m_symbol, 0, Qt::AlignHCenter);
    stack->addLayout(texts);
    stack->addSpacing(2);
    stack->addWidget(m_choose, 0, Qt::AlignHCenter);
    stack->addStretch(1);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(SideMargin, 0, SideMargin, 0);
    outer->addStretch(1);
    outer->addWidget(m_zone, 3);
    outer->addStretch(1);
    setFocusProxy(m_choose);

    m_animation = new QVariantAnimation(this);
    m_animation->setDuration(AnimationMs);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_progress = value.toReal();
        m_zone->update();
    });
    applyLooks();
}

void FileDropZone::setTargeted(bool targeted)
{
    if (targeted == m_targeted)
        return;
    m_targeted = targeted;
    m_animation->stop();
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(targeted ? 1.0 : 0.0);
    m_animation->start();
}

void FileDropZone::applyLooks()
{
    QFont title = PanelStyle::roundedFont(15);
    title.setWeight(QFont::DemiBold);
    m_title->setFont(title);
    QFont line = font();
    line.setPixelSize(11);
    m_line->setFont(line);
    QPalette linePalette = m_line->palette();
    linePalette.setColor(QPalette::WindowText, PanelStyle::secondary(palette()));
    m_line->setPalette(linePalette);
}

void FileDropZone::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyLooks();
}

bool FileDropZone::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_zone && event->type() == QEvent::Paint)
        paintZone();
    return QWidget::eventFilter(watched, event);
}

void FileDropZone::paintZone()
{
    const QPalette& pal = palette();
    const QColor accent = pal.color(QPalette::Highlight);
    const qreal t = m_progress;
    QPainter p(m_zone);
    p.setRenderHint(QPainter::Antialiasing);
    // Stroked inside the bounds: the 2-px line's outer edge meets the zone's edge.
    const QRectF box = QRectF(m_zone->rect()).adjusted(1, 1, -1, -1);
    QPainterPath shape;
    shape.addRoundedRect(box, ZoneRadius - 1, ZoneRadius - 1);
    p.fillPath(shape, mix(PanelStyle::secondary(pal, 0.03 / 0.55), withAlpha(accent, 0.08), t));
    QPen outline(mix(PanelStyle::secondary(pal, 0.3 / 0.55), withAlpha(accent, 0.7), t), 2, Qt::CustomDashLine,
                 Qt::FlatCap, Qt::MiterJoin);
    outline.setMiterLimit(10);
    // Dash lengths are in line widths: 7 on, 6 off.
    outline.setDashPattern({3.5, 3.0});
    outline.setDashOffset(0);
    p.setPen(outline);
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);

    const auto symbol = m_targeted ? FileSymbols::Symbol::TrayArrowDown : FileSymbols::Symbol::DocumentAdd;
    FileSymbols::paint(p, symbol, QRectF(m_symbol->geometry()), mix(PanelStyle::secondary(pal), accent, t), 1.2);
}
