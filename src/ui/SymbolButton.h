#pragma once

#include <QAbstractButton>

// A plain, borderless button that draws one small line symbol in the text
// colour. A button may be hidden in place: it then draws nothing, takes no
// clicks and keeps its size, so its neighbours do not move.
class SymbolButton : public QAbstractButton
{
    Q_OBJECT
    Q_PROPERTY(qreal opacity READ opacity WRITE setOpacity)

public:
    enum class Symbol
    {
        ChevronLeft,
        ChevronRight,
        Close,
        Plus,
    };

    // `glyphSize` is the symbol's height in pixels; `width` the button's, or
    // 0 for a square a little larger than the symbol.
    SymbolButton(Symbol symbol, const QString& accessibleName, int glyphSize, int width = 0, QWidget* parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol m_symbol;
    int m_glyphSize;
    int m_width;
    qreal m_opacity = 1.0;
};
