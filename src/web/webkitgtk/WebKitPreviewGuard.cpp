#include "WebKitPreviewGuard.h"

#include <cstring>
#include <memory>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <webkit2/webkit2.h>

namespace {
const char* const FilterId = "quillnook-preview";

// Schemes that reach no other place: inline data, the page's own objects,
// blank pages and the engine's built-in PDF viewer.
const char* const OwnSchemes[] = {"data:", "blob:", "about:", "webkit-pdfjs-viewer:"};

QJsonObject rule(const QString& filter, const char* action, bool caseSensitive = false)
{
    QJsonObject trigger {{QStringLiteral("url-filter"), filter}};
    if (caseSensitive)
        trigger.insert(QStringLiteral("url-filter-is-case-sensitive"), true);
    return QJsonObject {
        {QStringLiteral("trigger"), trigger},
        {QStringLiteral("action"), QJsonObject {{QStringLiteral("type"), QString::fromLatin1(action)}}}};
}

// The address as a filter pattern that matches it alone. The patterns know
// no braces or bars; those (always percent-encoded by the engine anyway)
// match as any one character.
QString exactly(const QByteArray& uri)
{
    QString pattern = QStringLiteral("^");
    for (const char c : uri) {
        if (std::strchr(".*+?[]()^$\\", c) && c != '\0')
            pattern += QLatin1Char('\\');
        pattern += std::strchr("{}|", c) && c != '\0' ? QLatin1Char('.') : QLatin1Char(c);
    }
    return pattern + QLatin1Char('$');
}

WebKitUserContentFilterStore* filterStore()
{
    static WebKitUserContentFilterStore* store = [] {
        const QString folder
            = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/web/preview-filters");
        QDir().mkpath(folder);
        return webkit_user_content_filter_store_new(QFile::encodeName(folder).constData());
    }();
    return store;
}

struct Pending
{
    WebKitWebView* view;
    std::function<void(bool)> then;
};
} // namespace

QByteArray WebKitPreviewGuard::rules(const QByteArray& fileUri)
{
    QJsonArray list;
    list.append(rule(QStringLiteral(".*"), "block"));
    for (const char* scheme : OwnSchemes)
        list.append(rule(QLatin1Char('^') + QString::fromLatin1(scheme), "ignore-previous-rules"));
    list.append(rule(exactly(fileUri), "ignore-previous-rules", true));
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

void WebKitPreviewGuard::confine(WebKitWebView* view, const QByteArray& fileUri, std::function<void(bool)> then)
{
    const QByteArray json = rules(fileUri);
    GBytes* source = g_bytes_new(json.constData(), gsize(json.size()));
    // The view is kept alive until the filter is ready.
    auto* pending = new Pending {WEBKIT_WEB_VIEW(g_object_ref(view)), std::move(then)};
    webkit_user_content_filter_store_save(
        filterStore(), FilterId, source, nullptr,
        [](GObject* store, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
            GError* error = nullptr;
            WebKitUserContentFilter* filter
                = webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
            if (error) {
                g_warning("The preview filter could not be made: %s", error->message);
                g_error_free(error);
            }
            if (filter) {
                WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(pending->view);
                webkit_user_content_manager_remove_all_filters(manager);
                webkit_user_content_manager_add_filter(manager, filter);
                webkit_user_content_filter_unref(filter);
            }
            g_object_unref(pending->view);
            pending->then(filter != nullptr);
        },
        pending);
    g_bytes_unref(source);
}

bool WebKitPreviewGuard::allowsNavigation(const QByteArray& target, const QByteArray& fileUri)
{
    if (target == fileUri || target == "about:blank")
        return true;
    return target.startsWith("webkit-pdfjs-viewer:");
}
