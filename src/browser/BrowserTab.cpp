#include "BrowserTab.h"

#include <QSignalBlocker>

#include "base/Notices.h"
#include "browser/BrowserAddresses.h"
#include "web/WebEngine.h"

namespace {
// Kept in a search query as typed, besides letters, digits and "-._~", which
// percent-encoding keeps anyway. Plus signs and ampersands stay, so
// "q+a" searches for what was typed.
const QByteArray QueryKeeps = QByteArrayLiteral("!$&'()*+,;=:@/?");

// A message is one notice line, whatever the text in it holds:
// line breaks in typed text or an error are written as escapes.
void printLine(const QString& message)
{
    QString line;
    line.reserve(message.size());
    for (const QChar c : message) {
        switch (c.unicode()) {
        case '\n':
            line += QStringLiteral("\\n");
            break;
        case '\r':
            line += QStringLiteral("\\r");
            break;
        case '\v':
            line += QStringLiteral("\\v");
            break;
        case '\f':
            line += QStringLiteral("\\f");
            break;
        case 0x85:
        case 0x2028:
        case 0x2029:
            line += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            break;
        default:
            line += c;
        }
    }
    Notices::warn(line);
}
} // namespace

BrowserTab::BrowserTab(WebEngine& engine, const QString& urlString, const QString& title,
                       const DialogHandlerFactory& makeDialogHandler, QObject* parent)
    : QObject(parent)
    , m_id(QUuid::createUuid())
    , m_dialogHandler(makeDialogHandler ? makeDialogHandler() : nullptr)
    , m_urlString(urlString)
    , m_pageTitle(title)
{
    WebViewOptions options;
    options.purpose = WebViewOptions::Purpose::Browser;
    options.userAgent = QString::fromLatin1(BrowserAddresses::UserAgent);
    m_webView = engine.createView(options);
    m_webView->setNavigationDelegate(this);
    m_webView->setUiDelegate(m_dialogHandler.get());
    connect(m_webView.get(), &WebView::webProcessTerminated, this, [this] { setWebProcessTerminated(true); });
    connect(m_webView.get(), &WebView::downloadSaved, this, &BrowserTab::downloadSaved);
    connect(m_webView.get(), &WebView::downloadProgress, this, &BrowserTab::downloadProgress);
    connect(m_webView.get(), &WebView::downloadFailed, this, &BrowserTab::downloadFailed);
    connect(m_webView.get(), &WebView::responsivenessChanged, this,
            [this](bool responsive) { setNotResponding(!responsive); });
    // The engine may tell a page's title only after saying the page finished:
    // a title that comes then is still the finished page's title.
    connect(m_webView.get(), &WebView::titleChanged, this, [this] {
        const QString title = m_webView->title();
        if (m_awaitingTitle && !title.isEmpty()) {
            m_awaitingTitle = false;
            setPageTitle(title);
        }
    });
    connect(m_webView.get(), &WebView::urlChanged, this, [this] { m_awaitingTitle = false; });
    load(urlString);
}

BrowserTab::~BrowserTab()
{
    // Released without teardown (the model goes at the end of the run): the
    // view must still not call back into a half-destroyed tab.
    m_webView->setNavigationDelegate(nullptr);
    m_webView->setUiDelegate(nullptr);
}

void BrowserTab::setUrlString(const QString& text)
{
    if (text == m_urlString)
        return;
    m_urlString = text;
    emit urlStringChanged(m_urlString);
}

void BrowserTab::setPageTitle(const QString& title)
{
    if (title == m_pageTitle)
        return;
    m_pageTitle = title;
    emit pageTitleChanged(m_pageTitle);
}

void BrowserTab::setWebProcessTerminated(bool terminated)
{
    if (m_tornDown || terminated == m_webProcessTerminated)
        return;
    m_webProcessTerminated = terminated;
    emit webProcessTerminatedChanged(terminated);
}

void BrowserTab::setLoadError(const QString& error)
{
    if (m_tornDown || error == m_loadError)
        return;
    m_loadError = error;
    emit loadErrorChanged(m_loadError);
}

void BrowserTab::setNotResponding(bool notResponding)
{
    if (m_tornDown || notResponding == m_notResponding)
        return;
    m_notResponding = notResponding;
    emit notRespondingChanged(notResponding);
}

void BrowserTab::waitForPage()
{
    setNotResponding(false);
}

void BrowserTab::endStuckProcess()
{
    if (m_webView->isResponsive())
        return;
    // Its end is this tab's own doing, not a crash to report.
    const QSignalBlocker quiet(m_webView.get());
    m_webView->terminateWebProcess();
    setNotResponding(false);
}

bool BrowserTab::endNavigation()
{
    if (m_navigationsUnderWay > 0)
        --m_navigationsUnderWay;
    return m_navigationsUnderWay == 0;
}

void BrowserTab::load(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return;

    QString candidate;
    const QString lower = trimmed.toLower();
    if (lower.startsWith(QLatin1String("http://")) || lower.startsWith(QLatin1String("https://"))) {
        candidate = trimmed;
    } else if (trimmed.contains(QLatin1Char(' ')) || !trimmed.contains(QLatin1Char('.'))) {
        // Percent-encoding UTF-8 cannot fail, so the unencoded fallback is never needed.
        candidate
            = BrowserAddresses::searchAddress() + QString::fromLatin1(trimmed.toUtf8().toPercentEncoding(QueryKeeps));
    } else {
        candidate = QStringLiteral("https://") + trimmed;
    }

    // Strict parsing refuses what is not a URL as written (blanks, stray
    // characters, bad escapes, a port out of range); a web address without a
    // host could not be requested either.
    const QUrl url(candidate, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        printLine(QStringLiteral("Could not build a URL from: ") + text);
        return;
    }
    if (m_tornDown)
        return;
    // A dialog the page still waits on is answered as cancelled: the page
    // is being left.
    if (m_dialogHandler)
        m_dialogHandler->dismissDialogs();
    endStuckProcess();
    setWebProcessTerminated(false);
    setLoadError({});
    m_awaitingTitle = false;
    m_requested = url;
    ++m_navigationsUnderWay;
    m_webView->load(url, WebView::DefaultTimeout);
}

void BrowserTab::reloadPage()
{
    if (m_tornDown)
        return;
    endStuckProcess();
    setWebProcessTerminated(false);
    if (!m_loadError.isEmpty() && m_requested.isValid()) {
        // The failed page never became the view's page: reloading would
        // show the one before it.
        setLoadError({});
        ++m_navigationsUnderWay;
        m_webView->load(m_requested, WebView::DefaultTimeout);
        return;
    }
    m_webView->reload();
}

void BrowserTab::teardown()
{
    if (m_tornDown)
        return;
    m_webView->stopLoading();
    m_webView->setNavigationDelegate(nullptr);
    m_webView->setUiDelegate(nullptr);
    if (m_dialogHandler)
        m_dialogHandler->dismissDialogs();
    disconnect(m_webView.get(), nullptr, this, nullptr);
    m_webView->load(QUrl(QStringLiteral("about:blank")), WebView::DefaultTimeout);
    m_tornDown = true;
}

void BrowserTab::webViewDidFinishNavigation(WebView& view)
{
    if (m_tornDown)
        return;
    endNavigation();
    setLoadError({});
    if (m_dialogHandler)
        m_dialogHandler->pageNavigated();
    const QString title = view.title();
    const QUrl url = view.url();
    m_awaitingTitle = title.isEmpty();
    if (!title.isEmpty())
        setPageTitle(title);
    else if (!url.host().isEmpty())
        setPageTitle(url.host());
    else
        setPageTitle(QString::fromLatin1(BrowserAddresses::NewTabTitle));
    if (!url.isEmpty())
        setUrlString(url.toString(QUrl::FullyEncoded));
    setWebProcessTerminated(false);
}

void BrowserTab::webViewDidFailProvisionalNavigation(WebView& view, const QString& error)
{
    if (m_tornDown)
        return;
    printLine(QStringLiteral("Failed to start loading: ") + error);
    if (endNavigation()) {
        // A link the page followed fails as a typed address does: Reload
        // asks for the link. Only a web address: Reload is the browser's own
        // load, and a page's link to a local file stays the engine's to refuse.
        const QUrl failed = view.failedUrl();
        const QString scheme = failed.scheme().toLower();
        if (failed.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
            m_requested = failed;
        setLoadError(error);
    }
}

void BrowserTab::webViewDidFailNavigation(WebView&, const QString& error)
{
    if (m_tornDown)
        return;
    printLine(QStringLiteral("Failed during loading: ") + error);
    endNavigation();
}
