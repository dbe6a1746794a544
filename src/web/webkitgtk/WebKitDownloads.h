#pragma once

#include <QFileDevice>
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
    // exists in `folder` nor is in `taken`. A name longer than a file name
    // may be is shortened, its extension kept.
    static QString uniquePath(const QString& folder, const QString& suggestedName, const QSet<QString>& taken);

    // The longest name, in bytes, a download may have: what Linux
    // filesystems take, less the engine's ".wkdownload" while it runs.
    static constexpr int MaxNameBytes = 255 - 11;

private:
    static void onStarted(WebKitWebContext* context, WebKitDownload* download, WebKitDownloads* self);
    static int onDecideDestination(WebKitDownload* download, const char* suggestedName, WebKitDownloads* self);
    static void onFailed(WebKitDownload* download, void* error, WebKitDownloads* self);
    static void onFinished(WebKitDownload* download, WebKitDownloads* self);
    static void onReceivedData(WebKitDownload* download, quint64 length, WebKitDownloads* self);
    // Takes this object's handlers off `download` and lets it go.
    void forget(WebKitDownload* download);

    WebKitWebContext* m_context;
    // What a new file of the user's gets: the engine's processes write with
    // a private mode, a saved download is the user's ordinary file.
    QFileDevice::Permissions m_fileMode;
    // Names chosen for downloads still running, so two never share one.
    QSet<QString> m_reserved;
    // Downloads with handlers pointing here, each holding a reference.
    QSet<WebKitDownload*> m_running;
};
