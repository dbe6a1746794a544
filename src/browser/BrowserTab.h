#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include "browser/BrowserDialogHandler.h"
#include "web/WebView.h"

class WebEngine;

// One page of the panel's browser. It owns its web view for its whole life,
// turns typed text into an address or a web search, and keeps the address
// bar's text and the chip's label in step with the page.
class BrowserTab : public QObject, public WebNavigationDelegate
{
    Q_OBJECT
    Q_PROPERTY(QString urlString READ urlString WRITE setUrlString NOTIFY urlStringChanged)
    Q_PROPERTY(QString pageTitle READ pageTitle NOTIFY pageTitleChanged)
    Q_PROPERTY(bool webProcessTerminated READ webProcessTerminated NOTIFY webProcessTerminatedChanged)
    Q_PROPERTY(QString loadError READ loadError NOTIFY loadErrorChanged)
    Q_PROPERTY(bool notResponding READ notResponding NOTIFY notRespondingChanged)

public:
    // Starts loading `urlString` at once. `makeDialogHandler` may be empty:
    // the page then gets the engine's own answers to dialogs and new windows.
    BrowserTab(WebEngine& engine, const QString& urlString, const QString& title,
               const DialogHandlerFactory& makeDialogHandler = {}, QObject* parent = nullptr);
    ~BrowserTab() override;

    QUuid id() const { return m_id; }
    WebView& webView() const { return *m_webView; }
    BrowserDialogHandler* dialogHandler() const { return m_dialogHandler.get(); }

    // The address bar's text: what the user typed, until a page finishes.
    QString urlString() const { return m_urlString; }
    void setUrlString(const QString& text);
    // The chip's label.
    QString pageTitle() const { return m_pageTitle; }

    // Loads `text` as an address, or as a web search when it has a blank or
    // no dot. Blank text does nothing; text that makes no address prints a
    // line and leaves the page as it is.
    void load(const QString& text);

    // The page's web process died: the page is gone until reloadPage().
    bool webProcessTerminated() const { return m_webProcessTerminated; }
    void reloadPage();

    // Why the latest page could not be opened (nothing of it arrived), or
    // empty. reloadPage() asks for that page again, a link's included.
    QString loadError() const { return m_loadError; }

    // The page has stopped answering and the user has not chosen to wait.
    // reloadPage() or load() end its process first.
    bool notResponding() const { return m_notResponding; }
    // Lets the page go on running; it is reported again should it answer
    // and then stop once more.
    void waitForPage();

    // Stops the page for good: it goes blank and calls this tab no more.
    void teardown();
    bool isTornDown() const { return m_tornDown; }

    void webViewDidFinishNavigation(WebView& view) override;
    void webViewDidFailProvisionalNavigation(WebView& view, const QString& error) override;
    void webViewDidFailNavigation(WebView& view, const QString& error) override;

signals:
    void urlStringChanged(const QString& urlString);
    void pageTitleChanged(const QString& pageTitle);
    void webProcessTerminatedChanged(bool terminated);
    void loadErrorChanged(const QString& loadError);
    void notRespondingChanged(bool notResponding);
    // A response the page could not show was saved to this file.
    void downloadSaved(const QString& path);
    void downloadProgress(const QString& fileName, qint64 received, qint64 total);
    void downloadFailed(const QString& fileName, const QString& reason);

private:
    void setPageTitle(const QString& title);
    void setWebProcessTerminated(bool terminated);
    void setLoadError(const QString& error);
    void setNotResponding(bool notResponding);
    // A page that no longer answers takes no load; its process goes first.
    void endStuckProcess();
    // Counts one navigation as ended; true when no newer one is under way.
    bool endNavigation();

    const QUuid m_id;
    // Declared before the view, so the view that refers to it goes first.
    std::unique_ptr<BrowserDialogHandler> m_dialogHandler;
    QString m_urlString;
    QString m_pageTitle;
    std::unique_ptr<WebView> m_webView;
    bool m_webProcessTerminated = false;
    QString m_loadError;
    bool m_notResponding = false;
    QUrl m_requested;
    // Loads asked for and not yet ended: a load cancelled by a newer one
    // fails too, and that failure is not the page the user waits for.
    int m_navigationsUnderWay = 0;
    bool m_tornDown = false;
    // The last page finished without a title, so far.
    bool m_awaitingTitle = false;
};
