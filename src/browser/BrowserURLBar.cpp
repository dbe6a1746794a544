#include "BrowserURLBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "browser/BrowserTab.h"
#include "ui/SymbolButton.h"

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

    m_back = new SymbolButton(SymbolButton::Symbol::ChevronLeft, QStringLiteral("Back"), 10, 18, this);
    m_forward = new SymbolButton(SymbolButton::Symbol::ChevronRight, QStringLiteral("Forward"), 10, 18, this);
    m_back->setToolTip(QStringLiteral("Back (Alt+Left)"));
    m_forward->setToolTip(QStringLiteral("Forward (Alt+Right)"));
    for (SymbolButton* button : {m_back, m_forward})
        button->setFocusPolicy(Qt::TabFocus);
    m_zoom = new QLabel(this);
    m_zoom->setAccessibleName(QStringLiteral("Zoom"));
    m_zoom->hide();
    m_zoomTimer = new QTimer(this);
    m_zoomTimer->setSingleShot(true);
    m_zoomTimer->setInterval(1500);
    connect(m_zoomTimer, &QTimer::timeout, m_zoom, &QWidget::hide);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 6, 6, 6);
    row->setSpacing(4);
    row->addWidget(m_back, 0, Qt::AlignVCenter);
    row->addWidget(m_forward, 0, Qt::AlignVCenter);
    row->addSpacing(2);
    row->addWidget(m_field, 1, Qt::AlignVCenter);
    row->addWidget(m_zoom, 0, Qt::AlignVCenter);
    row->addWidget(m_go, 0, Qt::AlignVCenter);

    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_tab)
            m_tab->setUrlString(text);
    });
    connect(m_field, &QLineEdit::returnPressed, this, &BrowserURLBar::submit);
    connect(m_go, &QAbstractButton::clicked, this, &BrowserURLBar::submit);
    connect(m_back, &QAbstractButton::clicked, this, [this] {
        if (m_tab)
            m_tab->webView().goBack();
    });
    connect(m_forward, &QAbstractButton::clicked, this, [this] {
        if (m_tab)
            m_tab->webView().goForward();
    });
    updateHistory();
}

void BrowserURLBar::updateHistory()
{
    const bool back = m_tab && m_tab->webView().canGoBack();
    const bool forward = m_tab && m_tab->webView().canGoForward();
    m_back->setEnabled(back);
    m_forward->setEnabled(forward);
    m_back->setOpacity(back ? 1.0 : 0.3);
    m_forward->setOpacity(forward ? 1.0 : 0.3);
}

void BrowserURLBar::flashZoom(qreal factor, bool saved)
{
    m_zoom->setText(QStringLiteral("%1%").arg(qRound(factor * 100))
                    + (saved ? QString() : QStringLiteral(" (not kept: settings folder unwritable)")));
    m_zoom->show();
    m_zoomTimer->start();
}

void BrowserURLBar::setTab(BrowserTab* tab)
{
    if (tab == m_tab)
        return;
    disconnect(m_tabConnection);
    disconnect(m_historyConnection);
    m_tab = tab;
    m_zoom->hide();
    if (tab) {
        m_tabConnection = connect(tab, &BrowserTab::urlStringChanged, this, &BrowserURLBar::showUrlString);
        m_historyConnection = connect(&tab->webView(), &WebView::historyChanged, this, &BrowserURLBar::updateHistory);
        showUrlString(tab->urlString());
    } else {
        showUrlString(QString());
    }
    updateHistory();
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
