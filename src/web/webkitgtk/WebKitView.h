#pragma once

#include <list>
#include <memory>

#include <QPointer>
#include <QTimer>

#include "web/WebEngine.h"
#include "web/WebView.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitScriptDialog WebKitScriptDialog;
class WebKitFileChooser;
class WebKitFocusBridge;
class FileDrop;

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
    QUrl url() const override;
    QString title() const override;
    void evaluateJavaScript(const QString& script, ScriptCompletion completion) override;
    void focusPage() override;
    void paste() override;

    WebKitWebView* webKitView() const { return m_webView; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PendingScript;
    struct PendingDialog;

    void buildWindow();
    void embedWindow();
    void loseWindow();
    void restoreWindow();
    void restartTimeout();
    void onLoadChanged(int event);
    void onLoadFailed(int event, const QString& message);
    void onTimeout();
    void requestNewWindow(const QUrl& url);
    void runDialog(WebKitScriptDialog* dialog);

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

    WebViewOptions m_options;
    GtkWidget* m_window = nullptr;
    WebKitWebView* m_webView = nullptr;
    // widget(): the same for the view's life, holding the container of the
    // page's window, which is made anew when that window was lost.
    QPointer<QWidget> m_host;
    QPointer<QWidget> m_container;
    std::unique_ptr<WebKitFocusBridge> m_focus;
    std::unique_ptr<WebKitFileChooser> m_fileChooser;
    std::unique_ptr<FileDrop> m_fileDrop;
    // The page's window was unmapped or destroyed by someone else; the tab
    // shows the crash state until reload() builds it again.
    bool m_windowLost = false;
    // Idle time-out of the current load: no progress for this long ends it.
    QTimer m_timeout;
    bool m_timedOut = false;
    bool m_loadFailed = false;
    std::list<std::shared_ptr<PendingScript>> m_scripts;
    std::list<std::shared_ptr<PendingDialog>> m_dialogs;
};
