#pragma once

#include <QStyledItemDelegate>
#include <QUrl>

// How one shelf entry looks in the list: its icon at 26 x 26, its name on one
// line cut at the end, its size below, and a trash symbol at the right, on a
// faint rounded card. A click on the trash asks to delete the entry, a click
// anywhere else on the row asks to preview it.
class FileRow : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int IconSize = 26;
    static constexpr int TrashSize = 24;
    // Around each row in the list, and inside its card.
    static constexpr QMargins RowInsets {8, 3, 8, 3};
    static constexpr QMargins CardPadding {8, 6, 8, 6};

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where a row's parts lie within the row's rectangle.
    static QRect cardRect(const QRect& row);
    static QRect iconRect(const QRect& row);
    static QRect trashRect(const QRect& row);

    // A file name on one line: a line break (legal in a name) would hide
    // the rest of it, so each is shown as ↵ and other control characters as �.
    static QString oneLineName(const QString& name);
    static QFont nameFont(const QFont& base);
    static QFont sizeFont(const QFont& base);

    // The row whose trash symbol a real button covers; -1 for none.
    void setCoveredRow(int row) { m_coveredRow = row; }

signals:
    void openRequested(const QUrl& url);
    void deleteRequested(const QUrl& url);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    int m_coveredRow = -1;
};
