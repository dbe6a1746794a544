#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

class QWidget;
class WebFileChooser;
class WebNavigationDelegate;
class WebUiDelegate;

// One embedded web page, as the browser tabs, the file preview and the
// screenshot paster drive it. The engine behind it lives in a module that is
// loaded after the panel is on screen; nothing above this class sees it.
class WebView : public QObject
{
    Q_OBJECT

public:
    // Called exactly once, on the main thread, whether the script ran, failed
    // or the page went away first. `error` is empty on success.
    using ScriptCompletion = std::function<void(const QVariant& result, const QString& error)>;

    static constexpr std::chrono::seconds DefaultTimeout {60};

    using QObject::QObject;

    // The widget that shows the page. It belongs to this view: place it in a
    // layout, never delete it. The same widget for the view's whole life.
    virtual QWidget* widget() = 0;

    // Starts a navigation that replaces the current page, with the protocol's
    // own caching rules and the given time-out. Its end reaches the navigation
    // delegate.
    virtual void load(const QUrl& url, std::chrono::seconds timeout = DefaultTimeout) = 0;
    virtual void stopLoading() = 0;
    virtual void reload() = 0;

    // Navigates the page as its own script would, with the page's rights
    // rather than the browser's: what the page may not open stays closed.
    // Only http and https addresses; anything else is refused.
    virtual void navigateFromPage(const QUrl& url) = 0;

    // False while the page's web process has stopped answering (a script
    // that never yields); responsivenessChanged() tells of each change.
    virtual bool isResponsive() const = 0;
    // Ends the page's web process at once; webProcessTerminated() follows,
    // and the next load or reload starts a new one.
    virtual void terminateWebProcess() = 0;

    // The address of the latest navigation that failed, or empty: what a
    // reload of that failure asks for again.
    QUrl failedUrl() const { return m_failedUrl; }

    // The current page's address and title; either may be empty.
    virtual QUrl url() const = 0;
    virtual QString title() const = 0;

    virtual void evaluateJavaScript(const QString& script, ScriptCompletion completion) = 0;
    // The same for a script already in UTF-8, which a very long one (a
    // pasted screenshot) reaches the engine in without being converted.
    virtual void evaluateJavaScriptUtf8(const QByteArray& script, ScriptCompletion completion)
    {
        evaluateJavaScript(QString::fromUtf8(script), std::move(completion));
    }

    // Serves `data` to this page's own scripts at one-time addresses, each
    // with a piece of it, in order: fetched all at once, they arrive sooner
    // than one would. The first request for an address from this page gets
    // its bytes as they are, then the address answers nobody; no other page
    // can reach it. Empty when the engine has no such way, and the bytes
    // must travel in a script.
    virtual QStringList offerOnce(const QByteArray& data, const QString& mimeType)
    {
        Q_UNUSED(data)
        Q_UNUSED(mimeType)
        return {};
    }
    // Forgets the offers that were not taken; nothing for those that were.
    virtual void withdrawOffer(const QStringList& addresses) { Q_UNUSED(addresses) }

    // Calls `body` as the body of an async function whose parameters are the
    // keys of `arguments` (strings, numbers or booleans), in a script world
    // of the program's own: page scripts neither see its variables nor
    // replace what it calls, and the page's content policy does not hold back
    // its requests. The completion gets what the function's promise settles
    // with. Engines without such a world report an error.
    virtual void callIsolatedAsyncFunction(const QString& body, const QVariantMap& arguments,
                                           ScriptCompletion completion)
    {
        Q_UNUSED(body)
        Q_UNUSED(arguments)
        completion({}, QStringLiteral("This engine has no script world of its own."));
    }

    // Makes the page the keyboard's target, so the next key or edit action
    // reaches its focused element.
    virtual void focusPage() = 0;

    // Pastes the clipboard into the page's focused element. An image reaches
    // the page as an image/png File in the paste event's clipboardData.
    virtual void paste() = 0;

    // History of this page. Engines without one answer false and do nothing.
    virtual bool canGoBack() const { return false; }
    virtual bool canGoForward() const { return false; }
    virtual void goBack() { }
    virtual void goForward() { }
    virtual bool isLoading() const { return false; }

    // Finds `text` in the page, case-insensitively and wrapping around, and
    // selects the first match; findResult() tells how it went. Empty text
    // ends the search. `backwards` steps to the previous match of the same
    // text instead of the next.
    virtual void find(const QString& text, bool backwards = false)
    {
        Q_UNUSED(text)
        Q_UNUSED(backwards)
    }
    virtual void endFind() { }

    // The page's zoom, 1 being the page's own size.
    virtual qreal zoomFactor() const { return 1.0; }
    virtual void setZoomFactor(qreal factor) { Q_UNUSED(factor) }

    // A file handed to the page as if pasted.
    struct PastedFile
    {
        QString name;
        QString mimeType;
        QByteArray data;
    };

    // Delegates are referred to, not owned; null detaches. Once detached, no
    // later callback of the engine reaches them.
    void setNavigationDelegate(WebNavigationDelegate* delegate) { m_navigationDelegate = delegate; }
    WebNavigationDelegate* navigationDelegate() const { return m_navigationDelegate; }
    void setUiDelegate(WebUiDelegate* delegate) { m_uiDelegate = delegate; }
    WebUiDelegate* uiDelegate() const { return m_uiDelegate; }
    // Without one, a page's file chooser is cancelled.
    void setFileChooser(WebFileChooser* chooser) { m_fileChooser = chooser; }
    WebFileChooser* fileChooser() const { return m_fileChooser; }

Q_SIGNALS:
    void titleChanged();
    void urlChanged();
    // The page's web process died; reload() brings the page back.
    void webProcessTerminated();
    void responsivenessChanged(bool responsive);
    // A download into `fileName` is under way: `received` bytes of `total`
    // (0 when the server did not say).
    void downloadProgress(const QString& fileName, qint64 received, qint64 total);
    // A response the engine cannot show was saved to this file.
    void downloadSaved(const QString& path);
    // A download ended without its file; `fileName` may be empty when it
    // failed before it had one.
    void downloadFailed(const QString& fileName, const QString& reason);
    // canGoBack(), canGoForward() or isLoading() may have changed.
    void historyChanged();
    // `current` is the selected match counted from 1 (0 with none), of `total`.
    void findResult(int current, int total);
    // The user asked the page for one of these by mouse or by key while the
    // page had the keyboard.
    void openInNewTabRequested(const QUrl& url);
    void openExternallyRequested(const QUrl& url);
    void copyLinkRequested(const QUrl& url);
    // +1 zooms in, -1 out, 0 back to the page's own size.
    void zoomStepRequested(int step);

protected:
    void setFailedUrl(const QUrl& url) { m_failedUrl = url; }

private:
    QUrl m_failedUrl;
    WebNavigationDelegate* m_navigationDelegate = nullptr;
    WebUiDelegate* m_uiDelegate = nullptr;
    WebFileChooser* m_fileChooser = nullptr;
};

// How a page's navigations end. Called on the main thread.
class WebNavigationDelegate
{
public:
    virtual void webViewDidFinishNavigation(WebView& view) = 0;
    // Failed before the page was committed (nothing of it arrived).
    virtual void webViewDidFailProvisionalNavigation(WebView& view, const QString& error) = 0;
    // Failed after the page was committed.
    virtual void webViewDidFailNavigation(WebView& view, const QString& error) = 0;

protected:
    ~WebNavigationDelegate() = default;
};

// What a page asks of its browser. Each completion must be called exactly
// once; calling it after the view has gone is harmless.
class WebUiDelegate
{
public:
    // window.open or a link with a blank target has no target frame. No
    // window is ever made for the request. Only http and https requests
    // reach the delegate; answer them with navigateFromPage(), never load().
    virtual void webViewCreateWebView(WebView& view, const QUrl& request, bool hasTargetFrame) = 0;
    virtual void webViewRunAlert(WebView& view, const QString& message, std::function<void()> completion) = 0;
    virtual void webViewRunConfirm(WebView& view, const QString& message, std::function<void(bool)> completion) = 0;
    // The completion gets the text on OK, nothing on Cancel.
    virtual void webViewRunPrompt(WebView& view, const QString& prompt, const QString& defaultText,
                                  std::function<void(std::optional<QString>)> completion)
        = 0;

protected:
    ~WebUiDelegate() = default;
};
