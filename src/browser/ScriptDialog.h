#pragma once

#include <functional>

#include <QDialog>
#include <QTimer>

class QLabel;
class QLineEdit;
class QPushButton;

// The dialog a page's alert, confirmation or prompt shows: the page's text,
// "OK" (Return) and, but for an alert, "Cancel" (Escape); a prompt has a
// one-line field holding the page's default text.
//
// It answers exactly once: when a button closes it, or, if it goes away
// unanswered (its tab closed), as if cancelled.
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

    void done(int result) override;

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
    int m_focusTries = 0;
};
