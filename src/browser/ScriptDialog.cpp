#include "ScriptDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ScriptDialog::ScriptDialog(Kind kind, const QString& message, const QString& defaultText, Answer answer,
                           QWidget* parent)
    : QDialog(parent)
    , m_kind(kind)
    , m_answer(std::move(answer))
{
    setWindowModality(Qt::ApplicationModal);

    m_message = new QLabel(message, this);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setMinimumWidth(FieldSize.width());

    auto* column = new QVBoxLayout(this);
    column->addWidget(m_message);

    if (kind == Kind::Prompt) {
        m_field = new QLineEdit(defaultText, this);
        m_field->setFixedSize(FieldSize);
        m_field->setAccessibleName(message);
        column->addWidget(m_field);
    }

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_ok->setDefault(true);
    connect(m_ok, &QAbstractButton::clicked, this, &QDialog::accept);
    if (kind != Kind::Alert) {
        m_cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
        m_cancel->setAutoDefault(false);
        connect(m_cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    }
    column->addWidget(buttons);

    if (m_field) {
        m_field->selectAll();
        m_field->setFocus();
    } else {
        m_ok->setFocus();
    }
}

ScriptDialog::~ScriptDialog()
{
    answer(false);
}

void ScriptDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_focusTries = 0;
    QTimer::singleShot(0, this, &ScriptDialog::claimFocus);
}

// The panel is brought up just before the dialog, and the window manager may
// focus it after the dialog. The dialog blocks the panel, so it would then
// take no key at all: ask again for the focus, for a little while.
void ScriptDialog::claimFocus()
{
    if (!isVisible() || isActiveWindow() || ++m_focusTries > 10)
        return;
    raise();
    activateWindow();
    QTimer::singleShot(100, this, &ScriptDialog::claimFocus);
}

void ScriptDialog::done(int result)
{
    answer(result == QDialog::Accepted);
    QDialog::done(result);
}

void ScriptDialog::answer(bool accepted)
{
    if (!m_answer)
        return;
    // Taken out first: the answer may close the tab, and with it this dialog.
    const Answer answer = std::exchange(m_answer, nullptr);
    answer(accepted, accepted && m_field ? m_field->text() : QString());
}
