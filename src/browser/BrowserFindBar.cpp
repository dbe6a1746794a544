#include "BrowserFindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "ui/SymbolButton.h"
#include "web/WebView.h"

BrowserFindBar::BrowserFindBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FindBar"));
    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(QStringLiteral("Find in page"));
    m_field->setAccessibleName(QStringLiteral("Find in page"));
    m_field->installEventFilter(this);
    m_count = new QLabel(this);
    m_count->setTextFormat(Qt::PlainText);
    m_count->setAccessibleName(QStringLiteral("Matches"));
    m_close = new SymbolButton(SymbolButton::Symbol::Close, QStringLiteral("Close Find"), 8, 0, this);
    m_close->setFocusPolicy(Qt::TabFocus);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 0, 6, 6);
    row->addWidget(m_field, 1, Qt::AlignVCenter);
    row->addWidget(m_count, 0, Qt::AlignVCenter);
    row->addWidget(m_close, 0, Qt::AlignVCenter);

    connect(m_field, &QLineEdit::textEdited, this, [this] { search(false); });
    connect(m_close, &QAbstractButton::clicked, this, &BrowserFindBar::close);
    hide();
}

QString BrowserFindBar::countText(int current, int total, bool searching)
{
    if (!searching)
        return {};
    if (total <= 0)
        return QStringLiteral("No matches");
    return QStringLiteral("%1 of %2").arg(std::max(current, 1)).arg(total);
}

void BrowserFindBar::open(WebView* page)
{
    if (page != m_page) {
        detach();
        m_page = page;
        if (page)
            m_resultConnection = connect(page, &WebView::findResult, this, &BrowserFindBar::showResult);
        m_count->clear();
        if (page && !m_field->text().isEmpty())
            search(false);
    }
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void BrowserFindBar::close()
{
    const bool wasOpen = isVisible();
    WebView* page = m_page;
    detach();
    m_count->clear();
    hide();
    if (wasOpen && page)
        page->focusPage();
}

void BrowserFindBar::detach()
{
    disconnect(m_resultConnection);
    if (m_page)
        m_page->endFind();
    m_page = nullptr;
}

void BrowserFindBar::search(bool backwards)
{
    if (!m_page)
        return;
    const QString text = m_field->text();
    if (text.isEmpty())
        m_count->clear();
    m_page->find(text, backwards);
}

void BrowserFindBar::showResult(int current, int total)
{
    m_count->setText(countText(current, total, !m_field->text().isEmpty()));
}

bool BrowserFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            search(modifiers == Qt::ShiftModifier);
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
