#include "FileToChat.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>

#include "screenshot/ScreenshotPaster.h"
#include "web/FilePaste.h"
#include "web/WebView.h"

namespace {
QString quoted(const QString& name)
{
    return QStringLiteral("“") + name + QStringLiteral("”");
}
} // namespace

std::optional<QString> FileToChat::refusal(const WebView* into, const QList<QUrl>& files)
{
    if (!into)
        return QStringLiteral("No page is open in the Browser to send to.");
    if (files.isEmpty())
        return QStringLiteral("No file is chosen to send.");
    for (const QUrl& url : files) {
        const QFileInfo info(url.toLocalFile());
        if (!url.isLocalFile() || !info.exists())
            return quoted(url.fileName()) + QStringLiteral(" is no longer on the shelf.");
        if (info.isDir())
            return quoted(info.fileName()) + QStringLiteral(" is a folder; only files can be sent to the chat.");
        if (info.size() > MaxFileSize)
            return quoted(info.fileName()) + QStringLiteral(" is over 100 MB, too big to send to the chat.");
    }
    return std::nullopt;
}

std::optional<QString> FileToChat::send(WebView* into, const QList<QUrl>& files, Completion completion)
{
    if (auto refused = refusal(into, files))
        return refused;
    if (!completion)
        completion = [](bool) {};
    QList<WebView::PastedFile> pasted;
    const QMimeDatabase types;
    for (const QUrl& url : files) {
        QFile file(url.toLocalFile());
        const QString name = QFileInfo(file).fileName();
        // Read whole and checked: a file that changed size or went since the
        // check is not sent cut short.
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("Could not read ") + quoted(name) + QStringLiteral(": ") + file.errorString();
        WebView::PastedFile entry;
        entry.name = name;
        entry.data = file.readAll();
        if (file.error() != QFileDevice::NoError || entry.data.size() != file.size() || entry.data.size() > MaxFileSize)
            return QStringLiteral("Could not read ") + quoted(name) + QStringLiteral(" whole.");
        entry.mimeType = types.mimeTypeForFileNameAndData(name, entry.data).name();
        pasted.append(std::move(entry));
    }
    QPointer<WebView> view(into);
    view->focusPage();
    view->evaluateJavaScript(QString::fromUtf8(ScreenshotPaster::focusScript()),
                             [view, pasted = std::move(pasted), completion](const QVariant&, const QString&) {
                                 // Whatever the script found, the files go out.
                                 if (!view) {
                                     completion(false);
                                     return;
                                 }
                                 FilePaste::paste(*view, pasted, completion);
                             });
    return std::nullopt;
}
