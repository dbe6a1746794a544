#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include <QObject>
#include <QString>
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

    // The current page's address and title; either may be empty.
    virtual QUrl url() const = 0;
    virtual QString title() const = 0;

    virtual void evaluateJavaScript(const QString& script, ScriptCompletion completion) = 0;

    // Makes the page the keyboard's target, so the next key or edit action
    // reaches its focused element.
    virtual void focusPage() = 0;

    // Pastes the clipboard into the page's focused element. An image reaches
    // the page as an image/png File in the paste event's clipboardData.
    virtual void paste() = 0;

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
    // A response the engine cannot show was saved to this file.
    void downloadSaved(const QString& path);
    // A download ended without its file; `fileName` may be empty when it
    // failed before it had one.
    void downloadFailed(const QString& fileName, const QString& reason);

private:
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
    // window is ever made for the request.
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
