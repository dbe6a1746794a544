#pragma once

#include <QWidget>

class NotesBanner;
class NotesStore;
class QLabel;
class QPlainTextEdit;

// The Notes tool: one plain-text editor bound both ways to the notes text,
// on a soft rounded card, with a hint behind it while the text is empty and
// a banner above it when the notes file needs the user's attention.
class NotesView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int CardInset = 10;
    static constexpr int EditorInset = 10;
    static constexpr int FontPixelSize = 14;
    // A large note reaches the editor in pieces, a few milliseconds' worth
    // per turn of the event loop, so the panel keeps answering; the first
    // piece fills a screen.
    static constexpr qsizetype FirstPieceSize = 16 * 1024;
    static constexpr qsizetype PieceSize = 16 * 1024;
    static constexpr int FillMsPerTurn = 6;
    // What a note too big to edit shows: its beginning, and of each overlong
    // line the start.
    static constexpr qsizetype ShownLineLength = 10'000;
    static constexpr qsizetype ShownNoteLength = 1'000'000;

    explicit NotesView(NotesStore& notesStore, QWidget* parent = nullptr);

    QPlainTextEdit* editor() const { return m_editor; }
    QLabel* placeholder() const { return m_placeholder; }
    NotesBanner* banner() const { return m_banner; }
    // True while a large note is still on its way into the editor; the
    // editor takes no typing until it is all there.
    bool isFilling() const { return m_filling; }

signals:
    void filled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void editorChanged(int position, int removed, int added);
    void storeChanged(const QString& text);
    void showText(const QString& text);
    bool replaceUndoably(const QString& text);
    void fillPieces(quint64 generation, bool first);
    void finishFill();
    void showNotice();
    void placePlaceholder();
    void applyLooks();

    NotesStore& m_notesStore;
    NotesBanner* m_banner = nullptr;
    QPlainTextEdit* m_editor = nullptr;
    QLabel* m_placeholder = nullptr;
    // Set while the change comes from the other side, so neither side echoes it.
    bool m_writingStore = false;
    bool m_writingEditor = false;

    bool m_filling = false;
    quint64 m_fillGeneration = 0;
    QString m_fillText;
    qsizetype m_filledUpTo = 0;
    int m_caretAfterFill = 0;
    int m_scrollAfterFill = 0;
};
