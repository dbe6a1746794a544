#include "BrowserURLBar.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "browser/BrowserTab.h"

BrowserURLBar::BrowserURLBar(QWidget* parent)
    : QWidget(parent)
{
    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(QStringLiteral("Search or enter URL"));
    m_field->setAccessibleName(QStringLiteral("Address"));
    m_field->setClearButtonEnabled(false);
    m_go = new QPushButton(QStringLiteral("Go"), this);
    m_go->setAccessibleName(QStringLiteral("Go"));
    m_go->setAutoDefault(false);
    m_go->setFocusPolicy(Qt::StrongFocus);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 6, 6, 6);
    row->addWidget(m_field, 1, Qt::AlignVCenter);
    row->addWidget(m_go, 0, Qt::AlignVCenter);

    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_tab)
            m_tab->setUrlString(text);
    });
    connect(m_field, &QLineEdit::returnPressed, this, &BrowserURLBar::submit);
    connect(m_go, &QAbstractButton::clicked, this, &BrowserURLBar::submit);
}

void BrowserURLBar::setTab(BrowserTab* tab)
{
    if (tab == m_tab)
        return;
    disconnect(m_tabConnection);
    m_tab = tab;
    if (tab) {
        m_tabConnection = connect(tab, &BrowserTab::urlStringChanged, this, &BrowserURLBar::showUrlString);
        showUrlString(tab->urlString());
    } else {
        showUrlString(QString());
    }
}

void BrowserURLBar::showUrlString(const QString& text)
{
    if (text == m_field->text())
        return;
    m_field->setText(text);
    // A finished page shows its address from the start, not its far end.
    m_field->setCursorPosition(m_field->hasFocus() ? int(text.size()) : 0);
}

void BrowserURLBar::submit()
{
    if (m_tab)
        m_tab->load(m_tab->urlString());
}
