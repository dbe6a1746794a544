#pragma once

#include <QScrollBar>

class QAbstractScrollArea;

// A thin scroll bar that floats over the right edge of a scroll area instead
// of taking room beside it, kept clear of the rounded corners it sits in.
// It shows only while there is something to scroll; the area's own bar
// stays hidden and the two follow each other.
class OverlayScrollBar : public QScrollBar
{
    Q_OBJECT

public:
    static constexpr int Thickness = 6;

    // endInset: how far the bar keeps from the area's top and bottom edges.
    OverlayScrollBar(QAbstractScrollArea* area, int endInset);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void place();
    void follow();
    QRectF handleRect() const;
    int valueAt(qreal handleTop) const;

    QAbstractScrollArea* m_area;
    int m_endInset;
    qreal m_grabOffset = -1;
};
