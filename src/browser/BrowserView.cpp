#include "BrowserView.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
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

#include "base/Notices.h"
#include "browser/BrowserFindBar.h"
#include "browser/BrowserTab.h"
#include "browser/BrowserTabsModel.h"
#include "browser/BrowserURLBar.h"
#include "browser/DownloadNotice.h"
#include "browser/SiteZoom.h"
#include "browser/TabChip.h"
#include "platform/FileManager.h"
#include "ui/PanelStyle.h"
#include "ui/SymbolButton.h"
#include "web/FilePaste.h"
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

    // The chips scroll; "New Tab" sits beside them, outside the scrolling
    // part, so that it stays in sight however many tabs there are, and a
    // screen reader meets it after the chips.
    auto* stripBar = new QWidget(this);
    stripBar->setFixedHeight(StripHeight);
    m_strip = new QScrollArea(stripBar);
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
    row->addStretch(1);
    m_strip->setWidget(m_stripRow);
    m_newTab = new SymbolButton(SymbolButton::Symbol::Plus, QStringLiteral("New Tab"), PlusGlyph, 0, stripBar);
    m_newTab->setFocusPolicy(Qt::TabFocus);
    auto* bar = new QHBoxLayout(stripBar);
    bar->setContentsMargins(0, 0, StripInset, 0);
    bar->setSpacing(0);
    bar->addWidget(m_strip, 1);
    bar->addSpacing(NewTabSpace);
    bar->addWidget(m_newTab, 0, Qt::AlignVCenter);
    bar->addSpacing(NewTabSpace);

    m_divider = new QWidget(this);
    m_divider->setFixedHeight(1);

    m_urlBar = new BrowserURLBar(this);
    m_downloadNotice = new DownloadNotice(this);
    m_findBar = new BrowserFindBar(this);
    m_siteZoom = std::make_unique<SiteZoom>();

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
    m_wait = new QPushButton(QStringLiteral("Wait"), m_crashNotice);
    m_wait->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_wait);
    buttons->addWidget(m_reload);
    buttons->addStretch(1);
    auto* crashColumn = new QVBoxLayout(m_crashNotice);
    crashColumn->addStretch(1);
    crashColumn->addWidget(message);
    crashColumn->addLayout(buttons);
    crashColumn->addStretch(2);
    m_pages->addWidget(m_crashNotice);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(stripBar);
    column->addWidget(m_divider);
    column->addWidget(m_urlBar);
    column->addWidget(m_findBar);
    column->addWidget(m_downloadNotice);
    column->addWidget(m_pageArea, 1);
    // Takes the room when there is no page.
    column->addStretch(0);

    connect(m_newTab, &QAbstractButton::clicked, this, [this] { m_model.newTab(); });
    connect(m_reload, &QAbstractButton::clicked, this, [this] {
        if (BrowserTab* tab = m_model.activeTab())
            tab->reloadPage();
    });
    connect(m_wait, &QAbstractButton::clicked, this, [this] {
        if (BrowserTab* tab = m_model.activeTab())
            tab->waitForPage();
    });
    connect(m_downloadNotice, &DownloadNotice::revealRequested, this, [this](const QString& path) {
        if (m_fileManager)
            m_fileManager->showItem(path);
    });
    connect(&m_model, &BrowserTabsModel::tabsChanged, this, &BrowserView::syncChips);
    connect(&m_model, &BrowserTabsModel::activeTabIDChanged, this, &BrowserView::syncActive);
    connect(&m_model, &QObject::destroyed, this, &BrowserView::modelDestroyed);
    connect(&m_model, &BrowserTabsModel::activeTabIDChanged, m_findBar, &BrowserFindBar::close);
    m_urlBar->field()->installEventFilter(this);
    addBrowsingActions();

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
    m_findBar->close();
    qDeleteAll(m_order);
    m_order.clear();
    m_chips.clear();
}

QList<TabChip*> BrowserView::chips() const
{
    return m_order;
}

QString BrowserView::noticeText() const
{
    return m_noticeMessage->text();
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
    connect(tab, &BrowserTab::notRespondingChanged, this, [this, tab] {
        if (tab == m_model.activeTab())
            showActivePage();
    });
    connect(tab, &BrowserTab::downloadSaved, m_downloadNotice, &DownloadNotice::showSaved);
    connect(tab, &BrowserTab::downloadProgress, m_downloadNotice, &DownloadNotice::showProgress);
    connect(tab, &BrowserTab::downloadFailed, m_downloadNotice, &DownloadNotice::showFailed);
    connectBrowsing(tab);
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
        // Last among its siblings: the chips' order as children, which is
        // the order a screen reader lists them in, is the strip's.
        order.at(i)->raise();
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
        const bool stuck = !crashed && !failed && tab->notResponding();
        if (crashed)
            m_noticeMessage->setText(QStringLiteral("This page stopped working."));
        else if (failed)
            m_noticeMessage->setText(QStringLiteral("Could not open this page.\n") + tab->loadError());
        else if (stuck)
            m_noticeMessage->setText(QStringLiteral("This page is not responding."));
        m_wait->setVisible(stuck);
        m_pages->setCurrentWidget(crashed || failed || stuck ? m_crashNotice : page);
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
        chain.append(m_urlBar->backButton());
        chain.append(m_urlBar->forwardButton());
        chain.append(m_urlBar->field());
        chain.append(m_urlBar->goButton());
        chain.append(m_findBar->field());
        chain.append(m_findBar->closeButton());
        chain.append(m_downloadNotice->revealButton());
        chain.append(m_downloadNotice->closeButton());
        const bool notice = tab->webProcessTerminated() || !tab->loadError().isEmpty() || tab->notResponding();
        if (notice && !m_wait->isHidden())
            chain.append(m_wait);
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
    // Escape in the address field stops the page that is loading.
    if (m_urlBar && watched == m_urlBar->field() && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        BrowserTab* tab = m_model.activeTab();
        if (tab && tab->webView().isLoading()) {
            tab->webView().stopLoading();
            return true;
        }
    }
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

void BrowserView::addBrowsingActions()
{
    // Window-wide, so they work from the address bar, the strip and, through
    // the engine's key forwarding, the page; only while the Browser shows.
    const auto add = [this](const QString& name, const QList<QKeySequence>& keys, auto slot) {
        auto* action = new QAction(name, this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    add(QStringLiteral("Back"), {QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::Key_Back)},
        &BrowserView::goBack);
    add(QStringLiteral("Forward"), {QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence(Qt::Key_Forward)},
        &BrowserView::goForward);
    add(QStringLiteral("Reload"), {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)}, &BrowserView::reload);
    add(QStringLiteral("Find in Page"), {QKeySequence(Qt::CTRL | Qt::Key_F)}, &BrowserView::openFind);
    add(QStringLiteral("Zoom In"),
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Equal)},
        [this] { zoom(+1); });
    add(QStringLiteral("Zoom Out"),
        {QKeySequence(Qt::CTRL | Qt::Key_Minus), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Underscore)},
        [this] { zoom(-1); });
    add(QStringLiteral("Actual Size"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { zoom(0); });
}

void BrowserView::connectBrowsing(BrowserTab* tab)
{
    WebView* page = &tab->webView();
    // Shelf rows and other programs' files dropped on the page reach its drop event.
    FilePaste::acceptFileDrops(*page);
    connect(page, &WebView::openInNewTabRequested, this,
            [this](const QUrl& url) { m_model.openTab(url.toString(QUrl::FullyEncoded), false); });
    connect(page, &WebView::openExternallyRequested, this, [](const QUrl& url) {
        if (!QDesktopServices::openUrl(url))
            Notices::report(QStringLiteral("Quillnook: no program opened ") + url.toDisplayString());
    });
    connect(page, &WebView::copyLinkRequested, this,
            [](const QUrl& url) { QGuiApplication::clipboard()->setText(url.toString(QUrl::FullyEncoded)); });
    connect(page, &WebView::zoomStepRequested, this, [this, tab](int step) {
        if (tab == m_model.activeTab())
            zoom(step);
    });
    // Each site opens at the zoom last chosen for it.
    connect(page, &WebView::urlChanged, this, [this, tab] { applySiteZoom(tab); });
    applySiteZoom(tab);
}

void BrowserView::applySiteZoom(BrowserTab* tab)
{
    const QUrl url = tab->webView().url();
    if (!url.host().isEmpty())
        tab->webView().setZoomFactor(m_siteZoom->factor(url));
}

void BrowserView::goBack()
{
    if (BrowserTab* tab = m_model.activeTab())
        tab->webView().goBack();
}

void BrowserView::goForward()
{
    if (BrowserTab* tab = m_model.activeTab())
        tab->webView().goForward();
}

void BrowserView::reload()
{
    if (BrowserTab* tab = m_model.activeTab())
        tab->reloadPage();
}

void BrowserView::openFind()
{
    if (BrowserTab* tab = m_model.activeTab())
        m_findBar->open(&tab->webView());
}

void BrowserView::zoom(int step)
{
    BrowserTab* tab = m_model.activeTab();
    if (!tab)
        return;
    WebView& page = tab->webView();
    const qreal factor = SiteZoom::stepped(page.zoomFactor(), step);
    page.setZoomFactor(factor);
    const bool saved = m_siteZoom->setFactor(page.url(), factor);
    m_urlBar->flashZoom(factor, saved);
    if (!saved)
        Notices::report(QStringLiteral("Quillnook: the zoom for %1 could not be saved in %2")
                            .arg(page.url().host(), m_siteZoom->filePath()));
}
