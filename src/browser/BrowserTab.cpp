#include "BrowserTab.h"

#include <cstdio>

#include "browser/BrowserAddresses.h"
#include "web/WebEngine.h"

namespace {
// Kept in a search query as typed, besides letters, digits and "-._~", which
// percent-encoding keeps anyway. Plus signs and ampersands stay, so
// "q+a" searches for what was typed.
const QByteArray QueryKeeps = QByteArrayLiteral("!$&'()*+,;=:@/?");

// A message is one line on standard output, whatever the text in it holds:
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
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString warning(const char* text)
{
    return QStringLiteral("⚠️ ") + QString::fromUtf8(text);
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
        printLine(warning("Could not build a URL from: ") + text);
        return;
    }
    if (m_tornDown)
        return;
    setWebProcessTerminated(false);
    m_awaitingTitle = false;
    m_webView->load(url, WebView::DefaultTimeout);
}

void BrowserTab::reloadPage()
{
    if (m_tornDown)
        return;
    setWebProcessTerminated(false);
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

void BrowserTab::webViewDidFailProvisionalNavigation(WebView&, const QString& error)
{
    if (!m_tornDown)
        printLine(warning("Failed to start loading: ") + error);
}

void BrowserTab::webViewDidFailNavigation(WebView&, const QString& error)
{
    if (!m_tornDown)
        printLine(warning("Failed during loading: ") + error);
}
