#pragma once

#include <QList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

// A segmented control: one exclusive, checkable button per title, drawn as a
// single piece. From the keyboard it is one Tab stop (the chosen segment);
// the arrow keys, Home and End choose another segment.
class ToolTabs : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int currentIndex READ currentIndex WRITE setCurrentIndex NOTIFY currentIndexChanged)

public:
    static constexpr int ControlHeight = 24;

    explicit ToolTabs(const QStringList& titles, QWidget* parent = nullptr);

    int count() const { return int(m_segments.size()); }
    int currentIndex() const;
    void setCurrentIndex(int index);
    QAbstractButton* segment(int index) const;
    bool hasSegmentFocus() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentIndexChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class Segment;
    void stepFrom(Segment* segment, int key);
    void updateFocusPolicies();
    void layoutSegments();

    QButtonGroup* m_group = nullptr;
    QList<Segment*> m_segments;
};
