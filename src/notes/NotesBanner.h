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
    void showNotice(const QString& text, bool urgent, bool offerEditor, bool dismissible);
    void clearNotice();

    QString text() const;
    QLabel* label() const { return m_label; }
    QPushButton* openButton() const { return m_open; }
    QToolButton* dismissButton() const { return m_dismiss; }

signals:
    void openRequested();
    void dismissRequested();

private:
    QLabel* m_label = nullptr;
    QPushButton* m_open = nullptr;
    QToolButton* m_dismiss = nullptr;
};
