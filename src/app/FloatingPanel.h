#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

class PanelWindowHints;
class QAbstractButton;
class QScreen;
class QTimer;

// The one panel window: frameless, above other windows, on every workspace,
// out of the taskbar and the pager. It carries its own close, minimise and
// zoom buttons at the top left (close only hides it) and can be resized from
// its left, right and bottom edges.
class FloatingPanel : public QWidget
{
    Q_OBJECT

public:
    FloatingPanel(const QRect& geometry, PanelWindowHints& hints);
    ~FloatingPanel() override;

    void setContentView(QWidget* content);
    QWidget* contentView() const { return m_content; }

    // Shown means mapped and not minimised: a panel closed with its button or
    // minimised counts as hidden.
    bool isShownOnScreen() const;
    void orderFrontAndFocus();
    void orderOut();
    void toggleZoom();
    // Brings a panel that is no longer wholly on a screen's visible area back
    // inside the one it overlaps most, shrinking it where that is too small.
    void keepOnScreen();
    // True until the user moves, resizes or zooms the panel: a panel still
    // where Quillnook put it follows its screen's work area (a desktop panel
    // that appears or moves) to the same place inside the new area.
    bool isWherePlaced() const { return geometry() == m_placed; }

    QAbstractButton* closeButton() const { return m_closeButton; }
    QAbstractButton* minimizeButton() const { return m_minimizeButton; }
    QAbstractButton* zoomButton() const { return m_zoomButton; }

    // Where the window buttons sit; the content leaves this much room at the
    // leading side of its top row and centres that row on this line.
    static constexpr int WindowButtonsWidth = 68;
    static constexpr int WindowButtonsCenterY = 28;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class EdgeGrip;
    void layoutChrome();
    void watchScreen(QScreen* screen);
    void screensChanged();
    void noticeScreensChange();

    PanelWindowHints& m_hints;
    QPointer<QWidget> m_content;
    QAbstractButton* m_closeButton = nullptr;
    QAbstractButton* m_minimizeButton = nullptr;
    QAbstractButton* m_zoomButton = nullptr;
    QList<EdgeGrip*> m_grips;
    QRect m_geometryBeforeZoom;
    QTimer* m_screensChanged = nullptr;
    QRect m_placed;
    // Whether the panel was where Quillnook put it when the change was first
    // noticed: a window manager that shifts it for the new screen before the
    // change is handled does not make it a panel the user moved.
    bool m_wherePlacedAtChange = false;
};
