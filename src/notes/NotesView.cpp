#include "NotesView.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include "notes/NotesBanner.h"
#include "notes/NotesStore.h"
#include "ui/PanelStyle.h"

namespace {
constexpr qreal CardRadius = 12;
// Past this much changed text an outside change is shown afresh in pieces
// rather than as one undoable step, which would stall the panel.
constexpr qsizetype LargestUndoableChange = 1'000'000;

// The editor's text as the store holds it: every character as it is, with
// "\n" for each break between blocks. (toPlainText() would also turn
// no-break spaces and line separators into plain ones.)
QString editorText(QTextDocument* document)
{
    QTextCursor all(document);
    all.select(QTextCursor::Document);
    QString text = all.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

// The beginning of the text with overlong lines cut short, so the editor
// lays out no line it cannot keep up with and holds no more than it can.
QString shortened(const QString& text, qsizetype longest, qsizetype total)
{
    QString shown;
    qsizetype start = 0;
    while (start <= text.size()) {
        if (shown.size() >= total) {
            shown += QStringLiteral("… (") + QString::number(text.size() - start)
                + QStringLiteral(" more characters in the file)");
            break;
        }
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        const qsizetype length = end - start;
        if (length > longest) {
            qsizetype cut = start + longest;
            if (text.at(cut - 1).isHighSurrogate())
                --cut;
            shown += QStringView(text).mid(start, cut - start);
            shown += QStringLiteral(" … (") + QString::number(length - (cut - start))
                + QStringLiteral(" more characters)");
        } else {
            shown += QStringView(text).mid(start, length);
        }
        if (end < text.size())
            shown += QLatin1Char('\n');
        start = end + 1;
    }
    return shown;
}
} // namespace

NotesView::NotesView(NotesStore& notesStore, QWidget* parent)
    : QWidget(parent)
    , m_notesStore(notesStore)
{
    m_banner = new NotesBanner(this);

    // Made first so it lies behind the editor and never takes its clicks.
    m_placeholder = new QLabel(QStringLiteral("Jot something down…"), this);
    m_placeholder->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_editor = new QPlainTextEdit(this);
    m_editor->setAccessibleName(QStringLiteral("Notes"));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setTabChangesFocus(true);
    m_editor->viewport()->setAutoFillBackground(false);
    // A screen reader would take the viewport, which forwards its focus to
    // the editor, for a second focused object; clicks reach the editor anyway.
    m_editor->viewport()->setFocusProxy(nullptr);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // QPlainTextEdit lays lines out at the font's own spacing and ignores
    // block line heights; the extra leading is given up for its speed on
    // large notes.

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(CardInset, CardInset, CardInset, CardInset);
    layout->setSpacing(CardInset / 2);
    layout->addWidget(m_banner);
    auto* card = new QVBoxLayout;
    card->setContentsMargins(EditorInset, EditorInset, EditorInset, EditorInset);
    card->addWidget(m_editor);
    layout->addLayout(card, 1);
    setFocusProxy(m_editor);
    // The banner moves the editor; the hint follows it.
    m_editor->installEventFilter(this);

    applyLooks();
    showText(m_notesStore.text());
    showNotice();
    connect(m_editor->document(), &QTextDocument::contentsChange, this, &NotesView::editorChanged);
    connect(&m_notesStore, &NotesStore::textChanged, this, &NotesView::storeChanged);
    connect(&m_notesStore, &NotesStore::noticeChanged, this, &NotesView::showNotice);
    connect(m_banner, &NotesBanner::dismissRequested, &m_notesStore, &NotesStore::dismissNotice);
    connect(m_banner, &NotesBanner::undoRequested, &m_notesStore, &NotesStore::undoOutsideChange);
    connect(m_banner, &NotesBanner::openRequested, this, [this] { QDesktopServices::openUrl(m_notesStore.fileUrl()); });
}

void NotesView::editorChanged(int position, int removed, int added)
{
    if (m_writingEditor || m_filling)
        return;
    QTextDocument* document = m_editor->document();
    const qsizetype editorSize = document->characterCount() - 1;
    m_placeholder->setVisible(editorSize == 0);
    // A change may be reported to run into the document's closing paragraph
    // mark, which the text does not hold.
    const qsizetype overshoot = qMax<qsizetype>(0, qsizetype(position) + added - editorSize);
    const qsizetype addedCount = qMax<qsizetype>(0, added - overshoot);
    const qsizetype removedCount = qMax<qsizetype>(0, removed - overshoot);
    QString text;
    if (addedCount > 0) {
        QTextCursor span(document);
        span.setPosition(position);
        span.setPosition(int(position + addedCount), QTextCursor::KeepAnchor);
        text = span.selectedText();
        text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    }
    m_writingStore = true;
    m_notesStore.replaceText(position, removedCount, text);
    // Only the piece that changed is copied; should the two ever disagree,
    // the whole text settles it.
    if (m_notesStore.text().size() != editorSize)
        m_notesStore.setText(editorText(document));
    m_writingStore = false;
}

void NotesView::storeChanged(const QString& text)
{
    if (m_writingStore)
        return;
    if (!m_filling && m_notesStore.isEditable() && !m_editor->isReadOnly() && replaceUndoably(text))
        return;
    showText(text);
}

bool NotesView::replaceUndoably(const QString& text)
{
    // Only the part that differs changes, as one step Ctrl+Z takes back;
    // the caret and the view stay where they were around it.
    QTextDocument* document = m_editor->document();
    const QString shown = editorText(document);
    const qsizetype shorter = qMin(shown.size(), text.size());
    qsizetype head = 0;
    while (head < shorter && shown.at(head) == text.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && shown.at(shown.size() - 1 - tail) == text.at(text.size() - 1 - tail))
        ++tail;
    if (text.size() - head - tail > LargestUndoableChange || shown.size() - head - tail > LargestUndoableChange)
        return false;
    const int scroll = m_editor->verticalScrollBar()->value();
    m_writingEditor = true;
    QTextCursor span(document);
    span.beginEditBlock();
    span.setPosition(int(head));
    span.setPosition(int(shown.size() - tail), QTextCursor::KeepAnchor);
    span.insertText(text.mid(head, text.size() - head - tail));
    span.endEditBlock();
    m_writingEditor = false;
    m_editor->verticalScrollBar()->setValue(scroll);
    m_placeholder->setVisible(text.isEmpty());
    return true;
}

void NotesView::showText(const QString& text)
{
    // Keep the caret and scroll where they were, as far as the new text allows.
    if (!m_filling) {
        m_caretAfterFill = m_editor->textCursor().position();
        m_scrollAfterFill = m_editor->verticalScrollBar()->value();
    }
    m_fillText = m_notesStore.isEditable() ? text : shortened(text, ShownLineLength, ShownNoteLength);
    m_filledUpTo = 0;
    m_filling = true;
    const quint64 generation = ++m_fillGeneration;
    m_placeholder->setVisible(m_fillText.isEmpty());
    m_writingEditor = true;
    // Nothing typed into a part-filled editor could be told from the rest.
    m_editor->setReadOnly(true);
    m_editor->document()->setUndoRedoEnabled(false);
    m_editor->clear();
    m_writingEditor = false;
    fillPieces(generation, true);
}

void NotesView::fillPieces(quint64 generation, bool first)
{
    if (generation != m_fillGeneration)
        return;
    QElapsedTimer turn;
    turn.start();
    m_writingEditor = true;
    QTextCursor cursor(m_editor->document());
    cursor.movePosition(QTextCursor::End);
    do {
        qsizetype end = qMin(m_filledUpTo + (first ? FirstPieceSize : PieceSize), m_fillText.size());
        if (end < m_fillText.size() && m_fillText.at(end - 1).isHighSurrogate())
            ++end;
        cursor.insertText(m_fillText.mid(m_filledUpTo, end - m_filledUpTo));
        m_filledUpTo = end;
    } while (!first && m_filledUpTo < m_fillText.size() && turn.elapsed() < FillMsPerTurn);
    m_writingEditor = false;
    if (m_filledUpTo < m_fillText.size()) {
        // A timer, not a zero wait: other timers and input get their turn in between.
        QTimer::singleShot(1, Qt::PreciseTimer, this, [this, generation] { fillPieces(generation, false); });
        return;
    }
    finishFill();
}

void NotesView::finishFill()
{
    m_fillText.clear();
    m_filling = false;
    // Undo starts afresh: it must not bring back text the store no longer has.
    m_editor->document()->setUndoRedoEnabled(true);
    m_editor->setReadOnly(!m_notesStore.isEditable());
    QTextCursor cursor = m_editor->textCursor();
    cursor.setPosition(qMin(m_caretAfterFill, m_editor->document()->characterCount() - 1));
    m_editor->setTextCursor(cursor);
    m_editor->verticalScrollBar()->setValue(m_scrollAfterFill);
    emit filled();
}

void NotesView::showNotice()
{
    const NotesStore::Notice notice = m_notesStore.notice();
    if (notice == NotesStore::Notice::None) {
        m_banner->clearNotice();
        return;
    }
    m_banner->showNotice(m_notesStore.noticeText(), notice == NotesStore::Notice::SaveFailed,
                         notice == NotesStore::Notice::TooBigToEdit, m_notesStore.isNoticeDismissible(),
                         m_notesStore.canUndoOutsideChange());
    // A note that became (or stopped being) too long to edit is shown anew.
    if (!m_filling && m_editor->isReadOnly() == m_notesStore.isEditable())
        showText(m_notesStore.text());
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
    const QRectF area = QRectF(m_editor->geometry()).adjusted(-EditorInset, -EditorInset, EditorInset, EditorInset);
    p.drawRoundedRect(area, CardRadius, CardRadius);
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

bool NotesView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        placePlaceholder();
        // The card reaches past the editor, where moving it repaints nothing:
        // a banner going away would leave the old corners behind.
        update();
    }
    return QWidget::eventFilter(watched, event);
}
