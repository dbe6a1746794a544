#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>

// A small window that hangs below an anchor widget with an arrow pointing at
// it. It takes the focus but holds no grab, so the global shortcut and the
// desktop's own keys keep working while it is open. Escape closes it, and so
// does a click anywhere outside it: in the panel (the click then does what it
// would have done, except on the anchor, which must not open it again) or in
// another program.
class QTimer;

class Popover : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ArrowHeight = 8;
    static constexpr int ArrowWidth = 18;
    static constexpr int CornerRadius = 10;

    Popover(QWidget* anchor, QWidget* parent);
    ~Popover() override;

    // The popover takes ownership. It is as large as preferredSize where the
    // screen has room below the anchor, and smaller where it has not.
    void setContent(QWidget* content, const QSize& preferredSize);
    QWidget* content() const { return m_content; }

    // anchorRect: the part of the anchor the arrow points at, in its coordinates.
    void popup(const QRect& anchorRect);
    // Closes the popover and gives the keyboard back to the anchor. The
    // anchor's window takes the X focus first and the popover goes after:
    // unmapping the focused window would let the window manager hand the
    // focus to whatever window of another program lies behind.
    void dismiss();
    bool isDismissing() const { return m_dismissing; }

signals:
    void shownChanged(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPainterPath outline() const;
    void updateMask();
    void focusWindowChanged(QWindow* window);
    void finishDismiss();

    QPointer<QWidget> m_anchor;
    QPointer<QWidget> m_content;
    QSize m_preferredSize;
    qreal m_arrowX = 0;
    // A press on the anchor closed the popover; its release must not open it again.
    bool m_swallowAnchorRelease = false;
    // Escape was pressed: waiting for the anchor's window to hold the focus.
    bool m_dismissing = false;
    QTimer* m_dismissTimeout = nullptr;
};
