#pragma once

#include <QAbstractButton>

// The icon-only button that opens the settings page: a filled gear drawn in
// the palette's text colour, with no bezel.
class GearButton : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int ButtonSize = 24;

    explicit GearButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
