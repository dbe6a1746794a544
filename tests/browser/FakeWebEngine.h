#pragma once

#include <memory>

#include <QList>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include "web/WebEngine.h"
#include "web/WebView.h"

// A web view that records what it is asked to do and reports navigation
// outcomes only when a test says so. For unit tests of the browser's models
// and views; the real engine is tested in the x11 tests.
class FakeWebView : public WebView
{
    Q_OBJECT

public:
    explicit FakeWebView(const WebViewOptions& options)
        : options(options)
    { }

    ~FakeWebView() override { delete m_widget.data(); }

    QWidget* widget() override
    {
        if (!m_widget) {
            m_widget = new QWidget;
            m_widget->setObjectName(QStringLiteral("FakePage"));
            m_widget->setFocusPolicy(Qt::StrongFocus);
        }
        return m_widget;
    }
    bool hasWidget() const { return m_widget; }

    void load(const QUrl& url, std::chrono::seconds timeout) override
    {
        loads.append(url);
        timeouts.append(timeout);
    }
    void stopLoading() override { ++stops; }
    void reload() override { ++reloads; }
    void navigateFromPage(const QUrl& url) override { pageNavigations.append(url); }
    bool isResponsive() const override { return responsive; }
    void terminateWebProcess() override { ++terminations; }
    QUrl url() const override { return currentUrl; }
    QString title() const override { return currentTitle; }
    void evaluateJavaScript(const QString&, ScriptCompletion completion) override
    {
        if (completion)
            completion({}, QStringLiteral("not run"));
    }
    void focusPage() override { }
    void paste() override { }

    // A navigation ends as the engine would report it; nothing is reported
    // to a detached delegate.
    void finish(const QString& title, const QUrl& url)
    {
        currentTitle = title;
        currentUrl = url;
        if (WebNavigationDelegate* delegate = navigationDelegate())
            delegate->webViewDidFinishNavigation(*this);
    }
    void failBeforeCommit(const QString& error, const QUrl& url = {})
    {
        setFailedUrl(url);
        if (WebNavigationDelegate* delegate = navigationDelegate())
            delegate->webViewDidFailProvisionalNavigation(*this, error);
    }
    void failAfterCommit(const QString& error)
    {
        if (WebNavigationDelegate* delegate = navigationDelegate())
            delegate->webViewDidFailNavigation(*this, error);
    }
    void crash() { emit webProcessTerminated(); }
    void setResponsive(bool now)
    {
        responsive = now;
        emit responsivenessChanged(now);
    }
    void saveDownload(const QString& path) { emit downloadSaved(path); }

    const WebViewOptions options;
    QList<QUrl> loads;
    QList<std::chrono::seconds> timeouts;
    int stops = 0;
    int reloads = 0;
    QList<QUrl> pageNavigations;
    bool responsive = true;
    int terminations = 0;
    QUrl currentUrl;
    QString currentTitle;

private:
    QPointer<QWidget> m_widget;
};

class FakeWebEngine : public WebEngine
{
public:
    std::unique_ptr<WebView> createView(const WebViewOptions& options) override
    {
        auto view = std::make_unique<FakeWebView>(options);
        views.append(view.get());
        return view;
    }

    // Every view made, in order; null once its owner let it go.
    QList<QPointer<FakeWebView>> views;
};
