#pragma once

#include <list>
#include <memory>

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include "web/WebEngine.h"
#include "web/WebView.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitScriptDialog WebKitScriptDialog;
typedef struct _JSCValue JSCValue;
typedef struct _GError GError;
class WebKitFileChooser;
class WebKitEngineWindows;
class WebKitFocusBridge;

// A WebKitWebView inside the Qt panel: it lives in an override-redirect GTK
// window that Qt adopts as a foreign window, so both toolkits draw into one
// widget tree while each keeps its own X connection.
class WebKitView final : public WebView
{
    Q_OBJECT

public:
    WebKitView(WebKitWebContext* context, const WebViewOptions& options);
    ~WebKitView() override;

    // The view that owns this WebKitWebView, or null.
    static WebKitView* fromWebView(WebKitWebView* webView);

    QWidget* widget() override;
    void load(const QUrl& url, std::chrono::seconds timeout = DefaultTimeout) override;
    void stopLoading() override;
    void reload() override;
    void navigateFromPage(const QUrl& url) override;
    bool isResponsive() const override;
    void terminateWebProcess() override;
    QUrl url() const override;
    QString title() const override;
    void evaluateJavaScript(const QString& script, ScriptCompletion completion) override;
    void evaluateJavaScriptUtf8(const QByteArray& script, ScriptCompletion completion) override;
    QStringList offerOnce(const QByteArray& data, const QString& mimeType) override;
    void withdrawOffer(const QStringList& addresses) override;
    void callIsolatedAsyncFunction(const QString& body, const QVariantMap& arguments,
                                   ScriptCompletion completion) override;
    void focusPage() override;
    void paste() override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void goBack() override;
    void goForward() override;
    bool isLoading() const override;
    void find(const QString& text, bool backwards = false) override;
    void endFind() override;
    qreal zoomFactor() const override;
    void setZoomFactor(qreal factor) override;

    WebKitWebView* webKitView() const { return m_webView; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PendingScript;
    struct PendingDialog;

    void buildWindow();
    void embedWindow();
    void showInContainer();
    void loseWindow();
    void restoreWindow();
    // History, find, zoom, link clicks and the context menu's link items.
    void installBrowsing();
    void onFound(unsigned matches);
    void onCounted(unsigned matches);
    bool isConfined() const
    {
        return m_options.purpose == WebViewOptions::Purpose::FilePreview && m_options.confineToFile;
    }
    void restartTimeout();
    void onLoadChanged(int event);
    void onLoadFailed(int event, const QString& message);
    void onTimeout();
    void requestNewWindow(const QUrl& url);
    void runDialog(WebKitScriptDialog* dialog);
    // Keeps `completion` until the script's answer, or the view's end.
    void* holdScript(ScriptCompletion completion);
    static void scriptAnswered(void* held, JSCValue* value, GError* error);
    void probeResponsiveness();
    void updateResponsiveness();

    static void loadChanged(WebKitWebView*, int event, WebKitView* self);
    static int loadFailed(WebKitWebView*, int event, const char* uri, void* error, WebKitView* self);
    static GtkWidget* create(WebKitWebView*, void* action, WebKitView* self);
    static int decidePolicy(WebKitWebView*, void* decision, int type, WebKitView* self);
    static int scriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, WebKitView* self);
    static int permissionRequest(WebKitWebView*, void* request, WebKitView* self);
    static void processTerminated(WebKitWebView*, int reason, WebKitView* self);
    static int keyPressed(WebKitWebView*, void* event, WebKitView* self);
    static void notifyTitle(WebKitWebView*, void*, WebKitView* self);
    static void notifyUri(WebKitWebView*, void*, WebKitView* self);
    static void notifyProgress(WebKitWebView*, void*, WebKitView* self);
    static int windowGone(GtkWidget*, void* event, WebKitView* self);
    static void notifyResponsive(WebKitWebView*, void*, WebKitView* self);
    static int print(WebKitWebView*, void* operation, WebKitView* self);

    WebViewOptions m_options;
    GtkWidget* m_window = nullptr;
    WebKitWebView* m_webView = nullptr;
    // widget(): the same for the view's life, holding the container of the
    // page's window, which is made anew when that window was lost.
    QPointer<QWidget> m_host;
    QPointer<QWidget> m_container;
    std::unique_ptr<WebKitFocusBridge> m_focus;
    std::unique_ptr<WebKitFileChooser> m_fileChooser;
    // The page's window was unmapped or destroyed by someone else; the tab
    // shows the crash state until reload() builds it again.
    bool m_windowLost = false;
    std::unique_ptr<WebKitEngineWindows> m_engineWindows;
    // Idle time-out of the current load: no progress for this long ends it.
    QTimer m_timeout;
    bool m_timedOut = false;
    bool m_loadFailed = false;
    // The response of the current navigation went to a download instead:
    // the page shown before it stays, and the navigation ends as finished.
    bool m_becameDownload = false;
    std::list<std::shared_ptr<PendingScript>> m_scripts;
    std::list<std::shared_ptr<PendingDialog>> m_dialogs;
    // The search under way: its text, the selected match (from 1) and the
    // number of matches; the step the latest request took (0: a new search).
    QString m_findText;
    int m_findIndex = 0;
    int m_findTotal = 0;
    int m_findStep = 0;
    // The latest request has not been answered yet: the engine may tell of
    // one match more than once, and only its first answer moves the count.
    bool m_findPending = false;
    // A preview: the file it may show, and which load waits for its filter.
    QByteArray m_confinedUri;
    quint64 m_confineRequest = 0;
    // While the page is shown, a trivial script asks now and then whether
    // its process still runs scripts: the engine notices a stuck page only
    // once input waits on it.
    QTimer m_probeTimer;
    QElapsedTimer m_probeSent;
    bool m_probeOverdue = false;
    bool m_reportedResponsive = true;
};
