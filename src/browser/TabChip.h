#pragma once

#include <QPointer>
#include <QWidget>

class BrowserTab;
class QLabel;
class QVariantAnimation;
class SymbolButton;

// One tab in the browser's strip: move-left chevron, title, move-right
// chevron and close button on a rounded tinted card. The chevrons fade in
// while the pointer is over the chip (or the chip has the keyboard focus) and
// keep their space when hidden, so chips never change width on hover.
//
// From the keyboard a chip is one Tab stop: Space or Return selects it,
// Shift+Left and Shift+Right move it, Delete closes it.
class TabChip : public QWidget
{
    Q_OBJECT

public:
    static constexpr int TitleMaxWidth = 78;
    static constexpr int ChevronWidth = 10;
    static constexpr int Radius = 5;
    static constexpr qreal ActiveTint = 0.25;
    static constexpr qreal InactiveTint = 0.15;

    explicit TabChip(BrowserTab& tab, QWidget* parent = nullptr);

    BrowserTab& tab() const { return m_tab; }
    // The full title; the label shows it cut to TitleMaxWidth.
    QString title() const;
    QLabel* titleLabel() const { return m_title; }
    SymbolButton* moveLeftButton() const { return m_left; }
    SymbolButton* moveRightButton() const { return m_right; }
    SymbolButton* closeButton() const { return m_close; }

    bool isActive() const { return m_active; }
    void setActive(bool active);
    void setCanMove(bool left, bool right);
    bool isHovering() const { return m_hovering; }
    // The colour behind the row for the current state.
    QColor tint() const;

signals:
    void selectRequested();
    void closeRequested();
    void moveLeftRequested();
    void moveRightRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showTitle();
    void updateReveal();
    void applyReveal(qreal reveal);

    BrowserTab& m_tab;
    SymbolButton* m_left = nullptr;
    QLabel* m_title = nullptr;
    SymbolButton* m_right = nullptr;
    SymbolButton* m_close = nullptr;
    QVariantAnimation* m_fade = nullptr;
    bool m_active = false;
    bool m_canMoveLeft = false;
    bool m_canMoveRight = false;
    bool m_hovering = false;
    bool m_pointerInside = false;
    bool m_pressed = false;
    qreal m_reveal = 0.0;
};
