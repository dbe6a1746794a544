#pragma once

#include <memory>

#include <QString>

#include "web/WebEngine.h"

#include <sys/stat.h>

typedef struct _WebKitWebContext WebKitWebContext;
class WebKitDownloads;
class WebKitXcbHooks;

// One WebKitWebContext over one on-disk WebKitWebsiteDataManager, shared by
// every browser view and kept across runs; file previews get a context of
// their own that keeps nothing.
class WebKitEngine final : public WebEngine
{
public:
    // Held while the engine may start one of its processes: what they write
    // (cookies, site storage, cache) is then readable by the user alone.
    class PrivateFileMode
    {
    public:
        PrivateFileMode()
            : m_saved(::umask(S_IRWXG | S_IRWXO))
        { }
        ~PrivateFileMode() { ::umask(m_saved); }
        PrivateFileMode(const PrivateFileMode&) = delete;
        PrivateFileMode& operator=(const PrivateFileMode&) = delete;

    private:
        mode_t m_saved;
    };

    // Site data under the XDG data and cache folders, in Quillnook/web.
    static QString dataDirectory();
    static QString cacheDirectory();

    static std::unique_ptr<WebKitEngine> create(QString* error);
    // Folder and everything in it readable by the user alone; false, with
    // a line printed, for any entry left as it was.
    static bool makePrivate(const QString& folder);
    ~WebKitEngine() override;

    std::unique_ptr<WebView> createView(const WebViewOptions& options) override;

private:
    explicit WebKitEngine(WebKitWebContext* context);
    WebKitWebContext* previewContext(const QString& folder);

    WebKitWebContext* m_context = nullptr;
    WebKitWebContext* m_previewContext = nullptr;
    std::unique_ptr<WebKitDownloads> m_downloads;
    std::unique_ptr<WebKitXcbHooks> m_xcbHooks;
};
