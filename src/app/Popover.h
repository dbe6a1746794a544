#pragma once

#include <QPointer>
#include <QWidget>

// A popup that hangs below an anchor widget with a small arrow pointing at
// it, and closes on any click outside; that click then goes on to what lies
// under it. A click on the anchor itself only closes it, so the anchor does
// not open it again.
class Popover : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ArrowHeight = 8;
    static constexpr int ArrowWidth = 18;

    Popover(QWidget* anchor, QWidget* parent);

    // The popover takes ownership and sizes itself to the content's fixed size.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // anchorRect: the part of the anchor the arrow points at, in its coordinates.
    void popup(const QRect& anchorRect);

signals:
    void shownChanged(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPainterPath outline() const;
    void updateMask();

    QPointer<QWidget> m_anchor;
    QPointer<QWidget> m_content;
    qreal m_arrowX = 0;
};
