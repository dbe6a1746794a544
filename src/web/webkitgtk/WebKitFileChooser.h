#pragma once

#include <list>
#include <memory>

#include <QObject>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitFileChooserRequest WebKitFileChooserRequest;
class WebView;

// A page's file chooser (<input type=file>) goes to the view's WebFileChooser,
// the program's own dialog, instead of the engine's toolkit dialog, which
// would open as a stray window under the panel.
class WebKitFileChooser : public QObject
{
    Q_OBJECT

public:
    WebKitFileChooser(WebKitWebView* webView, WebView& view);
    // Requests still open are cancelled: the page's field keeps its files.
    ~WebKitFileChooser() override;

private:
    struct Pending;

    void run(WebKitFileChooserRequest* request);
    static int runFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, WebKitFileChooser* self);

    WebKitWebView* m_webView;
    WebView& m_view;
    std::list<std::shared_ptr<Pending>> m_pending;
};
