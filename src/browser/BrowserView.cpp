#include "BrowserView.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "app/PanelStyle.h"
#include "browser/BrowserTab.h"
#include "browser/BrowserTabsModel.h"
#include "browser/BrowserURLBar.h"
#include "browser/DownloadNotice.h"
#include "browser/SymbolButton.h"
#include "browser/TabChip.h"
#include "web/WebFileDialog.h"

namespace {
constexpr int StripInset = 4;
constexpr int ChipSpacing = 4;
constexpr int NewTabSpace = 6;
constexpr int PlusGlyph = 10;
} // namespace

BrowserView::BrowserView(BrowserTabsModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_fileDialog(new WebFileDialog(this))
{
    setObjectName(QStringLiteral("BrowserView"));

    m_strip = new QScrollArea(this);
    m_strip->setFixedHeight(StripHeight);
    m_strip->setFrameShape(QFrame::NoFrame);
    m_strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_strip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_strip->setWidgetResizable(true);
    m_strip->setFocusPolicy(Qt::NoFocus);
    m_strip->viewport()->setAutoFillBackground(false);
    m_strip->viewport()->installEventFilter(this);
    m_stripRow = new QWidget;
    m_stripRow->setAutoFillBackground(false);
    auto* row = new QHBoxLayout(m_stripRow);
    row->setContentsMargins(StripInset, StripInset, StripInset, StripInset);
    row->setSpacing(ChipSpacing);
    m_newTab = new SymbolButton(SymbolButton::Symbol::Plus, QStringLiteral("New Tab"), PlusGlyph, 0, m_stripRow);
    m_newTab->setFocusPolicy(Qt::TabFocus);
    row->addSpacing(NewTabSpace);
    row->addWidget(m_newTab, 0, Qt::AlignVCenter);
    row->addSpacing(NewTabSpace);
    row->addStretch(1);
    m_strip->setWidget(m_stripRow);

    m_divider = new QWidget(this);
    m_divider->setFixedHeight(1);

    m_urlBar = new BrowserURLBar(this);
    m_downloadNotice = new DownloadNotice(this);

    m_pageArea = new QWidget(this);
    m_pages = new QStackedLayout(m_pageArea);
    m_pages->setContentsMargins(0, 0, 0, 0);
    m_crashNotice = new QWidget(m_pageArea);
    auto* message = new QLabel(m_crashNotice);
    message->setAlignment(Qt::AlignHCenter);
    message->setWordWrap(true);
    message->setTextFormat(Qt::PlainText);
    m_noticeMessage = message;
    m_reload = new QPushButton(QStringLiteral("Reload"), m_crashNotice);
    m_reload->setAutoDefault(false);
    auto* crashColumn = new QVBoxLayout(m_crashNotice);
    crashColumn->addStretch(1);
    crashColumn->addWidget(message);
    crashColumn->addWidget(m_reload, 0, Qt::AlignHCenter);
    crashColumn->addStretch(2);
    m_pages->addWidget(m_crashNotice);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_strip);
    column->addWidget(m_divider);
    column->addWidget(m_urlBar);
    column->addWidget(m_downloadNotice);
    column->addWidget(m_pageArea, 1);
    // Takes the room when there is no page.
    column->addStretch(0);

    connect(m_newTab, &QAbstractButton::clicked, this, [this] { m_model.newTab(); });
    connect(m_reload, &QAbstractButton::clicked, this, [this] {
        if (BrowserTab* tab = m_model.activeTab())
            tab->reloadPage();
    });
    connect(m_downloadNotice, &DownloadNotice::revealRequested, this, &DownloadNotice::revealInFileManager);
    connect(&m_model, &BrowserTabsModel::tabsChanged, this, &BrowserView::syncChips);
    connect(&m_model, &BrowserTabsModel::activeTabIDChanged, this, &BrowserView::syncActive);
    connect(&m_model, &QObject::destroyed, this, &BrowserView::modelDestroyed);

    syncChips();
}

BrowserView::~BrowserView()
{
    for (TabChip* chip : std::as_const(m_order))
        chip->tab().webView().setFileChooser(nullptr);
}

void BrowserView::modelDestroyed()
{
    // The tabs go with the model, and their pages with them; nothing here
    // may refer to them afterwards.
    m_urlBar->setTab(nullptr);
    qDeleteAll(m_order);
    m_order.clear();
    m_chips.clear();
}

QList<TabChip*> BrowserView::chips() const
{
    return m_order;
}

QWidget* BrowserView::shownPage() const
{
    if (!m_pageArea->isVisibleTo(this))
        return nullptr;
    return m_pages->currentWidget();
}

TabChip* BrowserView::makeChip(BrowserTab* tab)
{
    auto* chip = new TabChip(*tab, m_stripRow);
    const QUuid id = tab->id();
    connect(chip, &TabChip::selectRequested, this, [this, id] { m_model.setActiveTabID(id); });
    connect(chip, &TabChip::closeRequested, this, [this, id] { m_model.closeTab(id); });
    connect(chip, &TabChip::moveLeftRequested, this, [this, id] { m_model.moveTab(id, -1); });
    connect(chip, &TabChip::moveRightRequested, this, [this, id] { m_model.moveTab(id, +1); });
    connect(tab, &BrowserTab::webProcessTerminatedChanged, this, [this, tab] {
        if (tab == m_model.activeTab())
            showActivePage();
    });
    connect(tab, &BrowserTab::loadErrorChanged, this, [this, tab] {
        if (tab == m_model.activeTab())
            showActivePage();
    });
    connect(tab, &BrowserTab::downloadSaved, m_downloadNotice, &DownloadNotice::showSaved);
    // Every page sits in the panel's window from the start, hidden (and so
    // told that it is hidden) until its tab is chosen.
    m_pages->addWidget(tab->webView().widget());
    tab->webView().setFileChooser(m_fileDialog);
    return chip;
}

void BrowserView::syncChips()
{
    auto* row = static_cast<QHBoxLayout*>(m_stripRow->layout());
    const QList<BrowserTab*>& tabs = m_model.tabs();

    QHash<QUuid, TabChip*> kept;
    QList<TabChip*> order;
    for (BrowserTab* tab : tabs) {
        TabChip* chip = m_chips.take(tab->id());
        if (!chip)
            chip = makeChip(tab);
        kept.insert(tab->id(), chip);
        order.append(chip);
    }
    // What is left belongs to closed tabs. The click that closed a tab may
    // still be running in its chip, so the chip goes later.
    for (TabChip* gone : std::as_const(m_chips)) {
        row->removeWidget(gone);
        gone->hide();
        disconnect(&gone->tab(), nullptr, this, nullptr);
        disconnect(&gone->tab(), nullptr, m_downloadNotice, nullptr);
        QWidget* page = gone->tab().webView().widget();
        if (m_pages->indexOf(page) >= 0) {
            m_pages->removeWidget(page);
            page->hide();
        }
        gone->deleteLater();
    }
    m_chips = kept;

    for (TabChip* chip : std::as_const(order))
        row->removeWidget(chip);
    for (int i = 0; i < order.size(); ++i) {
        row->insertWidget(i, order.at(i), 0, Qt::AlignVCenter);
        order.at(i)->setCanMove(i > 0, i < order.size() - 1);
        order.at(i)->show();
    }
    m_order = order;
    syncActive();
}

void BrowserView::syncActive()
{
    const QUuid active = m_model.activeTabID();
    for (TabChip* chip : std::as_const(m_order))
        chip->setActive(chip->tab().id() == active);
    // Once the strip has laid out its new chips.
    QTimer::singleShot(0, this, [this] {
        if (TabChip* chip = m_chips.value(m_model.activeTabID()))
            m_strip->ensureWidgetVisible(chip, 0, 0);
    });
    showActivePage();
}

void BrowserView::showActivePage()
{
    BrowserTab* tab = m_model.activeTab();
    m_urlBar->setTab(tab);
    m_urlBar->setVisible(tab);
    m_pageArea->setVisible(tab);
    if (tab) {
        QWidget* page = tab->webView().widget();
        if (m_pages->indexOf(page) < 0)
            m_pages->addWidget(page);
        const bool crashed = tab->webProcessTerminated();
        const bool failed = !tab->loadError().isEmpty();
        if (crashed)
            m_noticeMessage->setText(QStringLiteral("This page stopped working."));
        else if (failed)
            m_noticeMessage->setText(QStringLiteral("Could not open this page.\n") + tab->loadError());
        m_pages->setCurrentWidget(crashed || failed ? m_crashNotice : page);
    }
    updateTabOrder();
}

void BrowserView::updateTabOrder()
{
    QList<QWidget*> chain;
    for (TabChip* chip : std::as_const(m_order))
        chain.append(chip);
    chain.append(m_newTab);
    if (BrowserTab* tab = m_model.activeTab()) {
        chain.append(m_urlBar->field());
        chain.append(m_urlBar->goButton());
        chain.append(m_downloadNotice->revealButton());
        chain.append(m_downloadNotice->closeButton());
        const bool notice = tab->webProcessTerminated() || !tab->loadError().isEmpty();
        chain.append(notice ? static_cast<QWidget*>(m_reload) : tab->webView().widget());
    }
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
}

void BrowserView::focusInEvent(QFocusEvent* event)
{
    // Chosen as the tool, the browser is ready for an address. A focus proxy
    // would do the same but would also make this view a Tab stop before the
    // chips.
    QWidget::focusInEvent(event);
    if (m_model.activeTab())
        m_urlBar->field()->setFocus(event->reason());
    else
        m_newTab->setFocus(event->reason());
}

bool BrowserView::eventFilter(QObject* watched, QEvent* event)
{
    // A plain mouse wheel scrolls the strip sideways.
    if (watched == m_strip->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint delta = wheel->angleDelta();
        const int step = delta.x() != 0 ? delta.x() : delta.y();
        QScrollBar* bar = m_strip->horizontalScrollBar();
        bar->setValue(bar->value() - step / 2);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void BrowserView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(m_divider->geometry(), PanelStyle::divider(palette()));
}
