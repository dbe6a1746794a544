#include "WebKitEngine.h"

#include <cstdio>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>

#include "web/webkitgtk/WebKitDesktopLook.h"
#include "web/webkitgtk/WebKitDownloads.h"
#include "web/webkitgtk/WebKitEngineModule.h"
#include "web/webkitgtk/WebKitPasteChannel.h"
#include "web/webkitgtk/WebKitView.h"
#include "web/webkitgtk/WebKitXcbHooks.h"

#include <webkit2/webkit2.h>

QString WebKitEngine::dataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/web");
}

QString WebKitEngine::cacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/web");
}

bool WebKitEngine::makePrivate(const QString& folder)
{
    // Cookies, site storage and the cache are the user's alone: folders
    // 0700 and files 0600, those left by earlier runs included.
    constexpr QFile::Permissions FolderMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    constexpr QFile::Permissions FileMode = QFile::ReadOwner | QFile::WriteOwner;
    bool ok = QFile::setPermissions(folder, FolderMode);
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        const QFileInfo info = entries.fileInfo();
        if (info.isSymLink())
            continue;
        if (!QFile::setPermissions(path, info.isDir() ? FolderMode : FileMode)) {
            WebKitEngineModule::notice(QStringLiteral("Could not make the browser's data private: ") + path);
            ok = false;
        }
    }
    return ok;
}

std::unique_ptr<WebKitEngine> WebKitEngine::create(QString* error)
{
    const QString data = dataDirectory();
    const QString cache = cacheDirectory();
    for (const QString& folder : {data, cache}) {
        if (!QDir().mkpath(folder)) {
            *error = QStringLiteral("The browser could not create its data folder %1.").arg(folder);
            return nullptr;
        }
        if (!makePrivate(folder)) {
            *error = QStringLiteral("The browser could not make its data folder %1 private.").arg(folder);
            return nullptr;
        }
    }
    // The network process that writes the site data starts in here.
    const PrivateFileMode privateFiles;
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
        "base-data-directory", data.toUtf8().constData(), "base-cache-directory", cache.toUtf8().constData(), nullptr);
    // Without this, cookies would live only as long as the network process.
    webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(manager),
                                                 (data + QStringLiteral("/cookies.sqlite")).toUtf8().constData(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
    // Must precede the first web process.
    webkit_web_context_set_sandbox_enabled(context, TRUE);
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_WEB_BROWSER);
    WebKitDesktopLook::enableSpellChecking(context);
    WebKitPasteChannel::install(context);
    WebKitDesktopLook::followColorScheme();
    return std::unique_ptr<WebKitEngine>(new WebKitEngine(context));
}

WebKitEngine::WebKitEngine(WebKitWebContext* context)
    : m_context(context)
    , m_downloads(std::make_unique<WebKitDownloads>(context))
    , m_xcbHooks(std::make_unique<WebKitXcbHooks>())
{ }

WebKitEngine::~WebKitEngine()
{
    // Views hold references of their own; the contexts live until the last goes.
    m_downloads.reset();
    if (m_previewContext)
        g_object_unref(m_previewContext);
    g_object_unref(m_context);
    // The engine's processes made files of their own meanwhile.
    makePrivate(dataDirectory());
    makePrivate(cacheDirectory());
}

WebKitWebContext* WebKitEngine::previewContext(const QString& folder)
{
    // A shelf file is shown without the user's cookies or site data, and
    // nothing it loads is kept.
    if (!m_previewContext) {
        m_previewContext = webkit_web_context_new_ephemeral();
        webkit_web_context_set_sandbox_enabled(m_previewContext, TRUE);
        if (!folder.isEmpty())
            webkit_web_context_add_path_to_sandbox(m_previewContext, QFile::encodeName(folder).constData(), TRUE);
        webkit_web_context_set_cache_model(m_previewContext, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    }
    return m_previewContext;
}

std::unique_ptr<WebView> WebKitEngine::createView(const WebViewOptions& options)
{
    const bool preview = options.purpose == WebViewOptions::Purpose::FilePreview;
    return std::make_unique<WebKitView>(preview ? previewContext(options.previewFolder) : m_context, options);
}
