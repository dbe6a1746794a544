#pragma once

#include <functional>

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The dialog a page's alert, confirmation or prompt shows: the page's text,
// "OK" (Return) and, but for an alert, "Cancel" (Escape); a prompt has a
// one-line field holding the page's default text.
//
// It answers exactly once: when a button closes it, or, if it goes away
// unanswered (its tab closed), as if cancelled. It blocks no other window:
// a page that asks again and again cannot hold the program.
class ScriptDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Kind
    {
        Alert,
        Confirm,
        Prompt,
    };
    // `accepted` is true for "OK"; `text` is the field's text for a prompt.
    using Answer = std::function<void(bool accepted, const QString& text)>;

    static constexpr QSize FieldSize {240, 24};

    ScriptDialog(Kind kind, const QString& message, const QString& defaultText, Answer answer,
                 QWidget* parent = nullptr);
    ~ScriptDialog() override;

    Kind kind() const { return m_kind; }
    QLabel* messageLabel() const { return m_message; }
    // Null but for a prompt.
    QLineEdit* field() const { return m_field; }
    QPushButton* okButton() const { return m_ok; }
    // Null for an alert.
    QPushButton* cancelButton() const { return m_cancel; }

    // Adds "Don't show more dialogs from this page"; checked when the dialog
    // is answered, stopRequested() comes before the answer.
    void offerToStop();
    // Null until offerToStop().
    QCheckBox* stopBox() const { return m_stop; }

    void done(int result) override;

signals:
    void stopRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void claimFocus();

    void answer(bool accepted);

    Kind m_kind;
    Answer m_answer;
    QLabel* m_message = nullptr;
    QLineEdit* m_field = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QCheckBox* m_stop = nullptr;
    QVBoxLayout* m_column = nullptr;
    int m_focusTries = 0;
};
