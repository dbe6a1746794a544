#include "WebKitDownloads.h"

#include <cstdio>

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>

#include "web/webkitgtk/WebKitView.h"

#include <webkit2/webkit2.h>

namespace {
const char* const ViewKey = "quillnook-download-view";
const char* const PathKey = "quillnook-download-path";
const char* const FailedKey = "quillnook-download-failed";

QString downloadsFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/Downloads");
    return folder;
}

QString savedPath(WebKitDownload* download)
{
    const auto* path = static_cast<const QString*>(g_object_get_data(G_OBJECT(download), PathKey));
    return path ? *path : QString();
}

WebKitView* viewOf(WebKitDownload* download)
{
    auto* view = static_cast<QPointer<WebKitView>*>(g_object_get_data(G_OBJECT(download), ViewKey));
    return view ? view->data() : nullptr;
}
} // namespace

WebKitDownloads::WebKitDownloads(WebKitWebContext* context)
    : m_context(context)
{
    g_signal_connect(context, "download-started", G_CALLBACK(onStarted), this);
}

WebKitDownloads::~WebKitDownloads()
{
    g_signal_handlers_disconnect_by_data(m_context, this);
}

QString WebKitDownloads::uniquePath(const QString& folder, const QString& suggestedName, const QSet<QString>& taken)
{
    // Only a plain name inside the folder: never a path the server chose.
    QString name = QFileInfo(suggestedName).fileName().trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("download");
    const QString suffix = QMimeDatabase().suffixForFileName(name);
    const QString stem = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
    const QString dottedSuffix = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    QString path = folder + QLatin1Char('/') + name;
    for (int n = 2; QFileInfo::exists(path) || taken.contains(path); ++n)
        path = folder + QLatin1Char('/') + stem + QStringLiteral(" (%1)").arg(n) + dottedSuffix;
    return path;
}

void WebKitDownloads::onStarted(WebKitWebContext*, WebKitDownload* download, WebKitDownloads* self)
{
    WebKitWebView* webView = webkit_download_get_web_view(download);
    auto* view = new QPointer<WebKitView>(webView ? WebKitView::fromWebView(webView) : nullptr);
    g_object_set_data_full(G_OBJECT(download), ViewKey, view,
                           [](gpointer data) { delete static_cast<QPointer<WebKitView>*>(data); });
    webkit_download_set_allow_overwrite(download, FALSE);
    g_signal_connect(download, "decide-destination", G_CALLBACK(onDecideDestination), self);
    g_signal_connect(download, "failed", G_CALLBACK(onFailed), self);
    g_signal_connect(download, "finished", G_CALLBACK(onFinished), self);
}

int WebKitDownloads::onDecideDestination(WebKitDownload* download, const char* suggestedName, WebKitDownloads* self)
{
    const QString folder = downloadsFolder();
    if (!QDir().mkpath(folder)) {
        std::printf("⚠️ Could not create the Downloads folder: %s\n", folder.toLocal8Bit().constData());
        std::fflush(stdout);
        webkit_download_cancel(download);
        return TRUE;
    }
    const QString path = uniquePath(folder, QString::fromUtf8(suggestedName), self->m_reserved);
    self->m_reserved.insert(path);
    g_object_set_data_full(G_OBJECT(download), PathKey, new QString(path),
                           [](gpointer data) { delete static_cast<QString*>(data); });
    webkit_download_set_destination(download, QUrl::fromLocalFile(path).toEncoded().constData());
    return TRUE;
}

void WebKitDownloads::onFailed(WebKitDownload* download, void* error, WebKitDownloads*)
{
    g_object_set_data(G_OBJECT(download), FailedKey, GINT_TO_POINTER(1));
    const QString name = QFileInfo(savedPath(download)).fileName();
    const QString reason = QString::fromUtf8(static_cast<GError*>(error)->message);
    if (WebKitView* view = viewOf(download))
        Q_EMIT view->downloadFailed(name, reason);
    std::printf("⚠️ Download failed: %s: %s\n", name.toUtf8().constData(), reason.toUtf8().constData());
    std::fflush(stdout);
}

void WebKitDownloads::onFinished(WebKitDownload* download, WebKitDownloads* self)
{
    // "finished" follows "failed" too.
    const QString path = savedPath(download);
    self->m_reserved.remove(path);
    if (g_object_get_data(G_OBJECT(download), FailedKey) || path.isEmpty())
        return;
    if (WebKitView* view = viewOf(download))
        Q_EMIT view->downloadSaved(path);
}
