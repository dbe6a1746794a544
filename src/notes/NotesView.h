#pragma once

#include <QWidget>

class NotesStore;
class QLabel;
class QPlainTextEdit;

// The Notes tool: one plain-text editor bound both ways to the notes text,
// on a soft rounded card, with a hint behind it while the text is empty.
class NotesView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int CardInset = 10;
    static constexpr int EditorInset = 10;
    static constexpr int FontPixelSize = 14;

    explicit NotesView(NotesStore& notesStore, QWidget* parent = nullptr);

    QPlainTextEdit* editor() const { return m_editor; }
    QLabel* placeholder() const { return m_placeholder; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void editorChanged();
    void storeChanged(const QString& text);
    void showText(const QString& text);
    void placePlaceholder();
    void applyLooks();

    NotesStore& m_notesStore;
    QPlainTextEdit* m_editor = nullptr;
    QLabel* m_placeholder = nullptr;
    // Set while the change comes from the other side, so neither side echoes it.
    bool m_writingStore = false;
    bool m_writingEditor = false;
};
