#pragma once

#include <memory>

#include <QString>

class WebView;

struct WebViewOptions
{
    enum class Purpose
    {
        // A browser tab: scripts on, the shared persistent site data.
        Browser,
        // A shelf file shown in the panel: no scripts, no access to other files.
        FilePreview,
    };
    Purpose purpose = Purpose::Browser;
    // Empty: the engine's own.
    QString userAgent;
    // FilePreview: the folder whose files are previewed. Sound and film are
    // read straight from it by the page's sandboxed process, so it is opened
    // to that process, read-only. The first preview view fixes it.
    QString previewFolder;
    // FilePreview: the page may read the file it was loaded with and nothing
    // else: every other request (network, other files, frames, objects) is
    // blocked, and it never navigates away from the file.
    bool confineToFile = true;
};

// A loaded web engine. Every view it makes shares one persistent store of
// cookies and site data, kept across runs.
class WebEngine
{
public:
    virtual ~WebEngine() = default;
    virtual std::unique_ptr<WebView> createView(const WebViewOptions& options) = 0;
};
