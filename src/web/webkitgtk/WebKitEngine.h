#pragma once

#include <memory>

#include <QString>

#include "web/WebEngine.h"

typedef struct _WebKitWebContext WebKitWebContext;
class WebKitDownloads;
class WebKitXcbHooks;

// One WebKitWebContext over one on-disk WebKitWebsiteDataManager, shared by
// every browser view and kept across runs; file previews get a context of
// their own that keeps nothing.
class WebKitEngine final : public WebEngine
{
public:
    // Site data under the XDG data and cache folders, in Quillnook/web.
    static QString dataDirectory();
    static QString cacheDirectory();

    static std::unique_ptr<WebKitEngine> create(QString* error);
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
