#include "FileRow.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>

#include "files/FilesListModel.h"
#include "ui/FileSymbols.h"
#include "ui/PanelStyle.h"

namespace {
constexpr qreal CardRadius = 8;
constexpr int Spacing = 10;
constexpr int LineGap = 2;
} // namespace

QString FileRow::oneLineName(const QString& name)
{
    QString line = name;
    for (QChar& c : line) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QChar(0x21B5);
        else if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return line;
}

QFont FileRow::nameFont(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    return font;
}

QFont FileRow::sizeFont(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(10);
    return font;
}

QRect FileRow::cardRect(const QRect& row)
{
    return row.marginsRemoved(RowInsets);
}

QRect FileRow::iconRect(const QRect& row)
{
    const QRect inner = cardRect(row).marginsRemoved(CardPadding);
    return QRect(inner.left(), inner.center().y() - IconSize / 2 + 1, IconSize, IconSize);
}

QRect FileRow::trashRect(const QRect& row)
{
    const QRect inner = cardRect(row).marginsRemoved(CardPadding);
    // A comfortable target around the small symbol, flush with the card's edge.
    return QRect(inner.right() - TrashSize + 5, inner.center().y() - TrashSize / 2 + 1, TrashSize, TrashSize);
}

QSize FileRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const int text
        = QFontMetrics(nameFont(option.font)).height() + LineGap + QFontMetrics(sizeFont(option.font)).height();
    const int height
        = std::max(IconSize, text) + CardPadding.top() + CardPadding.bottom() + RowInsets.top() + RowInsets.bottom();
    return QSize(200, height);
}

void FileRow::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QPalette& pal = option.palette;
    const QRect card = cardRect(option.rect);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(PanelStyle::secondary(pal, 0.06 / 0.55));
    painter->drawRoundedRect(QRectF(card), CardRadius, CardRadius);
    // The keyboard's place in the list, shown only while the list has the
    // keyboard; there is no hover or selection look.
    if ((option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_Active)) {
        QColor accent = pal.color(QPalette::Highlight);
        accent.setAlphaF(0.14);
        painter->setBrush(accent);
        painter->drawRoundedRect(QRectF(card), CardRadius, CardRadius);
    }

    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    icon.paint(painter, iconRect(option.rect));

    const QRect trash = trashRect(option.rect);
    if (index.row() != m_coveredRow)
        FileSymbols::paint(*painter, FileSymbols::Symbol::Trash, QRectF(trash).adjusted(5, 5, -5, -5),
                           PanelStyle::secondary(pal), 1.3);

    const QRect inner = card.marginsRemoved(CardPadding);
    const int textLeft = iconRect(option.rect).right() + 1 + Spacing;
    // The chosen row carries "Send to Chat" left of the trash.
    const auto* list = qobject_cast<const QAbstractItemView*>(option.widget);
    const int buttons = list && list->currentIndex() == index ? TrashSize + 2 : 0;
    const int textWidth = std::max(0, trash.left() - buttons - Spacing - textLeft);
    const QFont name = nameFont(option.font);
    const QFont size = sizeFont(option.font);
    const QFontMetrics nameMetrics(name);
    const QFontMetrics sizeMetrics(size);
    const int textHeight = nameMetrics.height() + LineGap + sizeMetrics.height();
    const int top = inner.center().y() - textHeight / 2 + 1;

    painter->setFont(name);
    painter->setPen(pal.color(QPalette::WindowText));
    const QString shownName
        = nameMetrics.elidedText(oneLineName(index.data(Qt::DisplayRole).toString()), Qt::ElideRight, textWidth);
    painter->drawText(QRect(textLeft, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      shownName);
    painter->setFont(size);
    painter->setPen(PanelStyle::secondary(pal));
    painter->drawText(QRect(textLeft, top + nameMetrics.height() + LineGap, textWidth, sizeMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, index.data(FilesListModel::SizeTextRole).toString());
    painter->restore();
}

bool FileRow::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                          const QModelIndex& index)
{
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || !option.rect.contains(mouse->position().toPoint()))
        return false;
    // Ctrl or Shift with the click choose rows, to send several at once.
    if (mouse->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier))
        return false;
    const QUrl url = index.data(FilesListModel::UrlRole).toUrl();
    if (trashRect(option.rect).contains(mouse->position().toPoint()))
        emit deleteRequested(url);
    else
        emit openRequested(url);
    return true;
}
