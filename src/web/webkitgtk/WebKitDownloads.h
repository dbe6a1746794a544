#pragma once

#include <QSet>
#include <QString>

typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitDownload WebKitDownload;

// Saves what the pages of one context download into the user's Downloads
// folder, each under a name no other file has, and tells the page's view.
class WebKitDownloads
{
public:
    explicit WebKitDownloads(WebKitWebContext* context);
    ~WebKitDownloads();
    WebKitDownloads(const WebKitDownloads&) = delete;
    WebKitDownloads& operator=(const WebKitDownloads&) = delete;

    // `name`, or "name (2).ext", "name (3).ext"... : the first that neither
    // exists in `folder` nor is in `taken`.
    static QString uniquePath(const QString& folder, const QString& suggestedName, const QSet<QString>& taken);

private:
    static void onStarted(WebKitWebContext* context, WebKitDownload* download, WebKitDownloads* self);
    static int onDecideDestination(WebKitDownload* download, const char* suggestedName, WebKitDownloads* self);
    static void onFailed(WebKitDownload* download, void* error, WebKitDownloads* self);
    static void onFinished(WebKitDownload* download, WebKitDownloads* self);

    WebKitWebContext* m_context;
    // Names chosen for downloads still running, so two never share one.
    QSet<QString> m_reserved;
};
