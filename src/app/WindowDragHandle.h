#pragma once

#include <QWidget>

// The thin strip along the top of the panel that moves it: a press anywhere
// on it, the capsule included, hands the drag to the window manager.
class WindowDragHandle : public QWidget
{
    Q_OBJECT

public:
    // Drawn as a thin capsule, but tall enough to hit easily.
    static constexpr int StripHeight = 10;
    static constexpr QSize CapsuleSize {36, 3};

    explicit WindowDragHandle(QWidget* parent = nullptr);

    QRect capsuleRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};
