#include "ScriptDialog.h"

#include <QCheckBox>
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
    // Above the always-on-top panel that holds it, blocking neither it nor
    // anything else.
    setWindowModality(Qt::NonModal);
    setWindowFlag(Qt::WindowStaysOnTopHint);

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
    m_column = column;

    if (m_field) {
        m_field->selectAll();
        m_field->setFocus();
    } else {
        m_ok->setFocus();
    }
}

void ScriptDialog::offerToStop()
{
    if (m_stop)
        return;
    m_stop = new QCheckBox(QStringLiteral("Don't show more dialogs from this page"), this);
    // Above the buttons, so Return still answers the page.
    m_column->insertWidget(m_column->count() - 1, m_stop);
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
    if (m_stop && m_stop->isChecked() && m_answer)
        emit stopRequested();
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
