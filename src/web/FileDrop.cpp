#include "FileDrop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QWidget>

#include "web/WebView.h"

namespace {
// A function expression, called with the files (name, type, modified, base64
// data) and the point. The target is the element under the point, inside
// same-origin frames and open shadow roots.
const char* const DropScript = R"JS((function(files, x, y) {
    var view = window, target = null;
    for (;;) {
        var root = view.document, hit = root.elementFromPoint(x, y);
        while (hit && hit.shadowRoot) {
            var inner = hit.shadowRoot.elementFromPoint(x, y);
            if (!inner || inner === hit)
                break;
            hit = inner;
        }
        target = hit || root.body || root.documentElement;
        var frame = null;
        try {
            frame = target.contentWindow && target.contentWindow.document ? target.contentWindow : null;
        } catch (e) {}
        if (!frame)
            break;
        var box = target.getBoundingClientRect();
        x -= box.left + target.clientLeft;
        y -= box.top + target.clientTop;
        view = frame;
    }
    var data = new view.DataTransfer();
    files.forEach(function (file) {
        var raw = atob(file.data);
        var bytes = new Uint8Array(raw.length);
        for (var i = 0; i < raw.length; ++i)
            bytes[i] = raw.charCodeAt(i);
        data.items.add(new view.File([bytes], file.name, {type: file.type, lastModified: file.modified}));
    });
    data.dropEffect = 'copy';
    data.effectAllowed = 'copy';
    function fire(type) {
        var event = new view.DragEvent(type, {bubbles: true, cancelable: true, composed: true, clientX: x, clientY: y,
                                              dataTransfer: data});
        target.dispatchEvent(event);
        return event.defaultPrevented;
    }
    fire('dragenter');
    // As in a browser, only a page that asks for the drop in dragover gets it.
    if (!fire('dragover')) {
        fire('dragleave');
        return false;
    }
    fire('drop');
    return true;
}))JS";

QList<QUrl> localFiles(const QMimeData* mime)
{
    QList<QUrl> files;
    if (!mime || !mime->hasUrls())
        return files;
    const QList<QUrl> urls = mime->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            files.append(url);
    }
    return files;
}
} // namespace

FileDrop::FileDrop(WebView& view, QWidget* target)
    : m_view(view)
    , m_target(target)
{
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

FileDrop::~FileDrop()
{
    if (m_target)
        m_target->removeEventFilter(this);
}

QString FileDrop::dropScript(const QList<QUrl>& files, QPoint point)
{
    static const QMimeDatabase types;
    QJsonArray list;
    qint64 total = 0;
    for (const QUrl& url : files) {
        QFile file(url.toLocalFile());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        total += file.size();
        if (total > MaxBytes)
            return {};
        const QByteArray bytes = file.readAll();
        if (bytes.size() != file.size())
            continue;
        const QFileInfo info(file);
        list.append(QJsonObject {
            {QStringLiteral("name"), info.fileName()},
            {QStringLiteral("type"), types.mimeTypeForFile(info).name()},
            {QStringLiteral("modified"), double(info.lastModified().toMSecsSinceEpoch())},
            {QStringLiteral("data"), QString::fromLatin1(bytes.toBase64())},
        });
    }
    if (list.isEmpty())
        return {};
    return QString::fromUtf8(DropScript) + u'(' + QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact))
        + QStringLiteral(",%1,%2)").arg(point.x()).arg(point.y());
}

bool FileDrop::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_target)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (localFiles(drag->mimeData()).isEmpty())
            return false;
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString script = dropScript(localFiles(drop->mimeData()), drop->position().toPoint());
        if (script.isEmpty())
            return false;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        QPointer<FileDrop> self(this);
        m_view.evaluateJavaScript(script, [self](const QVariant& taken, const QString& error) {
            if (self)
                Q_EMIT self->dropped(error.isEmpty() && taken.toBool());
        });
        return true;
    }
    default:
        return false;
    }
}
