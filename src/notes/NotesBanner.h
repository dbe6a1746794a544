#pragma once

#include <QFrame>

class QLabel;
class QPushButton;
class QToolButton;

// One line above the notes that says what went wrong with their file, or
// where a copy of them was kept. Hidden while there is nothing to say.
class NotesBanner : public QFrame
{
    Q_OBJECT

public:
    explicit NotesBanner(QWidget* parent = nullptr);

    // urgent: a failure still going on, shown in warning colours and not
    // dismissable. offerEditor: shows the button that opens the file elsewhere.
    // offerUndo: shows the button that takes back another program's change.
    void showNotice(const QString& text, bool urgent, bool offerEditor, bool dismissible, bool offerUndo = false);
    void clearNotice();

    QString text() const;
    QLabel* label() const { return m_label; }
    QPushButton* openButton() const { return m_open; }
    QPushButton* undoButton() const { return m_undo; }
    QToolButton* dismissButton() const { return m_dismiss; }

signals:
    void openRequested();
    void dismissRequested();
    void undoRequested();

private:
    QLabel* m_label = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_undo = nullptr;
    QToolButton* m_dismiss = nullptr;
};
