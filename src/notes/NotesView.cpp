#include "NotesView.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/PanelStyle.h"
#include "notes/NotesStore.h"

namespace {
constexpr qreal CardRadius = 12;
} // namespace

NotesView::NotesView(NotesStore& notesStore, QWidget* parent)
    : QWidget(parent)
    , m_notesStore(notesStore)
{
    // Made first so it lies behind the editor and never takes its clicks.
    m_placeholder = new QLabel(QStringLiteral("Jot something down…"), this);
    m_placeholder->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_editor = new QPlainTextEdit(this);
    m_editor->setAccessibleName(QStringLiteral("Notes"));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setTabChangesFocus(true);
    m_editor->viewport()->setAutoFillBackground(false);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // QPlainTextEdit lays lines out at the font's own spacing and ignores
    // block line heights; the extra leading is given up for its speed on
    // large notes.

    auto* layout = new QVBoxLayout(this);
    const int inset = CardInset + EditorInset;
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->addWidget(m_editor);
    setFocusProxy(m_editor);

    applyLooks();
    showText(m_notesStore.text());
    connect(m_editor, &QPlainTextEdit::textChanged, this, &NotesView::editorChanged);
    connect(&m_notesStore, &NotesStore::textChanged, this, &NotesView::storeChanged);
}

void NotesView::editorChanged()
{
    if (m_writingEditor)
        return;
    // The one full copy of the text per edit.
    const QString text = m_editor->toPlainText();
    m_placeholder->setVisible(text.isEmpty());
    m_writingStore = true;
    m_notesStore.setText(text);
    m_writingStore = false;
}

void NotesView::storeChanged(const QString& text)
{
    if (m_writingStore || text == m_editor->toPlainText())
        return;
    showText(text);
}

void NotesView::showText(const QString& text)
{
    // Keep the caret and scroll where they were, as far as the new text allows.
    const int position = m_editor->textCursor().position();
    const int scroll = m_editor->verticalScrollBar()->value();
    m_writingEditor = true;
    m_editor->setPlainText(text);
    m_writingEditor = false;
    QTextCursor cursor = m_editor->textCursor();
    cursor.setPosition(qMin(position, int(text.size())));
    m_editor->setTextCursor(cursor);
    m_editor->verticalScrollBar()->setValue(scroll);
    m_placeholder->setVisible(text.isEmpty());
}

void NotesView::applyLooks()
{
    const QFont font = PanelStyle::roundedFont(FontPixelSize);
    m_editor->setFont(font);
    m_placeholder->setFont(font);

    // The card and the hint show through the editor.
    QPalette editorPalette = m_editor->palette();
    editorPalette.setColor(QPalette::Base, Qt::transparent);
    m_editor->setPalette(editorPalette);

    QPalette hintPalette = m_placeholder->palette();
    hintPalette.setColor(QPalette::WindowText, PanelStyle::secondary(palette(), 0.6));
    m_placeholder->setPalette(hintPalette);
    placePlaceholder();
}

void NotesView::placePlaceholder()
{
    // Where the first typed character would be drawn.
    const QRect caret = m_editor->cursorRect(QTextCursor(m_editor->document()));
    const QPoint origin = m_editor->viewport()->mapTo(this, QPoint(caret.left(), caret.top()));
    m_placeholder->adjustSize();
    m_placeholder->move(origin);
}

void NotesView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor card = palette().color(QPalette::Base);
    card.setAlphaF(0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(card);
    p.drawRoundedRect(QRectF(rect()).adjusted(CardInset, CardInset, -CardInset, -CardInset), CardRadius, CardRadius);
}

void NotesView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placePlaceholder();
}

void NotesView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyLooks();
}
