#include "WebKitDownloads.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QUrl>

#include "web/webkitgtk/WebKitEngineModule.h"
#include "web/webkitgtk/WebKitView.h"

#include <sys/stat.h>
#include <webkit2/webkit2.h>

namespace {
const char* const ViewKey = "quillnook-download-view";
const char* const PathKey = "quillnook-download-path";
const char* const FailedKey = "quillnook-download-failed";
const char* const ReportedKey = "quillnook-download-reported";
// A running download tells its progress at most this often.
constexpr qint64 ProgressIntervalMs = 250;

// `text` cut to at most `bytes` bytes of UTF-8, never inside a character.
QString fitBytes(const QString& text, int bytes)
{
    QString fitted = text;
    while (!fitted.isEmpty() && fitted.toUtf8().size() > bytes) {
        fitted.chop(1);
        if (!fitted.isEmpty() && fitted.back().isHighSurrogate())
            fitted.chop(1);
    }
    return fitted;
}

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
    const mode_t mask = ::umask(0);
    ::umask(mask);
    m_fileMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    if (!(mask & S_IRGRP))
        m_fileMode |= QFile::ReadGroup;
    if (!(mask & S_IWGRP))
        m_fileMode |= QFile::WriteGroup;
    if (!(mask & S_IROTH))
        m_fileMode |= QFile::ReadOther;
    if (!(mask & S_IWOTH))
        m_fileMode |= QFile::WriteOther;
    g_signal_connect(context, "download-started", G_CALLBACK(onStarted), this);
}

WebKitDownloads::~WebKitDownloads()
{
    g_signal_handlers_disconnect_by_data(m_context, this);
    // A download may outlive the engine's side of it; its handlers point here.
    const QSet<WebKitDownload*> running = m_running;
    for (WebKitDownload* download : running)
        forget(download);
}

void WebKitDownloads::forget(WebKitDownload* download)
{
    if (!m_running.remove(download))
        return;
    g_signal_handlers_disconnect_by_data(download, this);
    g_object_unref(download);
}

QString WebKitDownloads::uniquePath(const QString& folder, const QString& suggestedName, const QSet<QString>& taken)
{
    // Only a plain name inside the folder: never a path the server chose.
    QString name = QFileInfo(suggestedName).fileName().trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("download");
    QString suffix = QMimeDatabase().suffixForFileName(name);
    if (suffix.isEmpty()) {
        // A type the system does not know still keeps a short extension.
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0 && name.size() - dot - 1 <= 16)
            suffix = name.mid(dot + 1);
    }
    QString stem = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
    const QString dottedSuffix = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    // Room for the extension and a " (n)" that tells copies apart; what
    // will not fit comes off the end of the stem.
    const auto named = [&](const QString& counter) -> QString {
        const int room = MaxNameBytes - int(dottedSuffix.toUtf8().size() + counter.toUtf8().size());
        return folder + QLatin1Char('/') + fitBytes(stem, std::max(room, 1)) + counter + dottedSuffix;
    };
    QString path = named(QString());
    for (int n = 2; QFileInfo::exists(path) || taken.contains(path); ++n)
        path = named(QStringLiteral(" (%1)").arg(n));
    return path;
}

void WebKitDownloads::onStarted(WebKitWebContext*, WebKitDownload* download, WebKitDownloads* self)
{
    WebKitWebView* webView = webkit_download_get_web_view(download);
    auto* view = new QPointer<WebKitView>(webView ? WebKitView::fromWebView(webView) : nullptr);
    g_object_set_data_full(G_OBJECT(download), ViewKey, view,
                           [](gpointer data) { delete static_cast<QPointer<WebKitView>*>(data); });
    webkit_download_set_allow_overwrite(download, FALSE);
    // Held until "finished" (which follows "failed" too), so that the
    // handlers can be taken off it whichever of the two goes first.
    self->m_running.insert(download);
    g_object_ref(download);
    g_signal_connect(download, "decide-destination", G_CALLBACK(onDecideDestination), self);
    g_signal_connect(download, "failed", G_CALLBACK(onFailed), self);
    g_signal_connect(download, "finished", G_CALLBACK(onFinished), self);
    g_signal_connect(download, "received-data", G_CALLBACK(onReceivedData), self);
}

void WebKitDownloads::onReceivedData(WebKitDownload* download, quint64, WebKitDownloads*)
{
    WebKitView* view = viewOf(download);
    const QString path = savedPath(download);
    if (!view || path.isEmpty())
        return;
    const qint64 now = g_get_monotonic_time() / 1000;
    auto* last = static_cast<qint64*>(g_object_get_data(G_OBJECT(download), ReportedKey));
    if (last && now - *last < ProgressIntervalMs)
        return;
    if (!last) {
        last = new qint64;
        g_object_set_data_full(G_OBJECT(download), ReportedKey, last,
                               [](gpointer data) { delete static_cast<qint64*>(data); });
    }
    *last = now;
    WebKitURIResponse* response = webkit_download_get_response(download);
    const qint64 total = response ? qint64(webkit_uri_response_get_content_length(response)) : 0;
    Q_EMIT view->downloadProgress(QFileInfo(path).fileName(),
                                  qint64(webkit_download_get_received_data_length(download)), total);
}

int WebKitDownloads::onDecideDestination(WebKitDownload* download, const char* suggestedName, WebKitDownloads* self)
{
    const QString folder = downloadsFolder();
    if (!QDir().mkpath(folder)) {
        WebKitEngineModule::notice(QStringLiteral("Could not create the Downloads folder: ") + folder);
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
    const QString path = savedPath(download);
    const QString name = QFileInfo(path).fileName();
    const auto* failure = static_cast<GError*>(error);
    // What arrived of it is no file anyone can use. The name was free when
    // it was chosen and the engine never overwrites, so a file found there
    // after a failure to write it is another's, and stays.
    const bool ours = !(failure->domain == WEBKIT_DOWNLOAD_ERROR && failure->code == WEBKIT_DOWNLOAD_ERROR_DESTINATION);
    if (!path.isEmpty() && ours) {
        for (const QString& partial : QStringList {path, path + QStringLiteral(".wkdownload")}) {
            if (QFileInfo::exists(partial) && !QFile::remove(partial)) {
                WebKitEngineModule::notice(QStringLiteral("Could not remove the partial download: ") + partial);
            }
        }
    }
    const bool cancelled
        = failure->domain == WEBKIT_DOWNLOAD_ERROR && failure->code == WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER;
    const QString reason = cancelled ? QStringLiteral("Cancelled.") : QString::fromUtf8(failure->message);
    if (WebKitView* view = viewOf(download))
        Q_EMIT view->downloadFailed(name, reason);
    WebKitEngineModule::notice(QStringLiteral("Download failed: ") + name + QStringLiteral(": ") + reason);
}

void WebKitDownloads::onFinished(WebKitDownload* download, WebKitDownloads* self)
{
    // "finished" follows "failed" too.
    const auto done = qScopeGuard([self, download] { self->forget(download); });
    const QString path = savedPath(download);
    self->m_reserved.remove(path);
    if (g_object_get_data(G_OBJECT(download), FailedKey) || path.isEmpty())
        return;
    if (!QFile::setPermissions(path, self->m_fileMode)) {
        WebKitEngineModule::notice(QStringLiteral("Could not set the mode of the download: ") + path);
    }
    if (WebKitView* view = viewOf(download))
        Q_EMIT view->downloadSaved(path);
}
