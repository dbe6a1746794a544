#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVariantAnimation;

// The empty shelf: a dashed rounded zone that invites a drop, with a button
// that opens the file picker. While a drag hovers over the Files tool the
// outline, fill and symbol ease into the accent colour and back.
class FileDropZone : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MaxZoneHeight = 260;
    static constexpr int SideMargin = 16;
    static constexpr int AnimationMs = 150;

    explicit FileDropZone(QWidget* parent = nullptr);

    QPushButton* chooseButton() const { return m_choose; }
    QWidget* zone() const { return m_zone; }

    bool isTargeted() const { return m_targeted; }
    void setTargeted(bool targeted);
    // 0 at rest, 1 fully in the accent look; between them while animating.
    qreal accentProgress() const { return m_progress; }

signals:
    void chooseRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void paintZone();
    void applyLooks();

    QWidget* m_zone = nullptr;
    QWidget* m_symbol = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_line = nullptr;
    QPushButton* m_choose = nullptr;
    QVariantAnimation* m_animation = nullptr;
    bool m_targeted = false;
    qreal m_progress = 0;
};
