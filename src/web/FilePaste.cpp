#include "FilePaste.h"

#include <memory>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include "base/Notices.h"
#include "web/FocusedElementScript.h"

namespace {
QString jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// Dispatches the event on the focused element (inside same-origin frames and
// open shadow roots), with the pieces gathered so far, and forgets them.
const char* const DispatchScript = R"JS((function(key, names, types) {
    var parts = window[key] || [];
    delete window[key];
)JS" QUILLNOOK_FOCUSED_ELEMENT_JS R"JS(    var data = new DataTransfer();
    for (var i = 0; i < names.length; ++i)
        data.items.add(new File(parts[i] || [], names[i], {type: types[i], lastModified: Date.now()}));
    var event = new ClipboardEvent('paste', {bubbles: true, cancelable: true, composed: true, clipboardData: data});
    target.dispatchEvent(event);
    return true;
}))JS";

// Drag events on the element under the point; the drop only when the page
// said it takes one.
const char* const DropScript = R"JS((function(key, names, types, x, y) {
    var parts = window[key] || [];
    delete window[key];
    var target = document.elementFromPoint(x, y) || document.body || document.documentElement;
    var data = new DataTransfer();
    for (var i = 0; i < names.length; ++i)
        data.items.add(new File(parts[i] || [], names[i], {type: types[i], lastModified: Date.now()}));
    var init = {bubbles: true, cancelable: true, composed: true, clientX: x, clientY: y, dataTransfer: data};
    target.dispatchEvent(new DragEvent('dragenter', init));
    var over = new DragEvent('dragover', init);
    target.dispatchEvent(over);
    if (over.defaultPrevented)
        target.dispatchEvent(new DragEvent('drop', init));
    else
        target.dispatchEvent(new DragEvent('dragleave', init));
    return true;
}))JS";

struct Transfer
{
    QPointer<WebView> view;
    QStringList scripts;
    int next = 0;
    FilePaste::Completion completion;
};

void step(const std::shared_ptr<Transfer>& transfer)
{
    if (!transfer->view) {
        transfer->completion(false);
        return;
    }
    if (transfer->next >= transfer->scripts.size()) {
        transfer->completion(true);
        return;
    }
    const QString script = transfer->scripts.at(transfer->next++);
    transfer->view->evaluateJavaScript(script, [transfer](const QVariant& result, const QString& error) {
        if (!error.isEmpty() || !result.toBool()) {
            transfer->completion(false);
            return;
        }
        step(transfer);
    });
}
} // namespace

namespace {
void deliver(WebView& view, const QList<WebView::PastedFile>& files, FilePaste::Completion completion,
             const std::function<QString(const QString& key, const QString& names, const QString& types)>& finish)
{
    auto transfer = std::make_shared<Transfer>();
    transfer->view = &view;
    transfer->completion = completion ? std::move(completion) : [](bool) {};
    // A name no page script knows, so the pieces meet nothing of the page's.
    const QString key
        = jsonString(QStringLiteral("quillnook-paste-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    transfer->scripts.append(
        QStringLiteral("Object.defineProperty(window, %1, {value: [], configurable: true}); true").arg(key));
    QJsonArray names;
    QJsonArray types;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const WebView::PastedFile& file = files.at(i);
        names.append(file.name);
        types.append(file.mimeType.isEmpty() ? QStringLiteral("application/octet-stream") : file.mimeType);
        transfer->scripts.append(QStringLiteral("window[%1][%2] = []; true").arg(key).arg(i));
        for (qsizetype at = 0; at < file.data.size(); at += FilePaste::PieceSize) {
            const QByteArray piece = file.data.mid(at, FilePaste::PieceSize).toBase64();
            transfer->scripts.append(
                QStringLiteral("(function(raw) { var bytes = new Uint8Array(raw.length);"
                               " for (var j = 0; j < raw.length; ++j) bytes[j] = raw.charCodeAt(j);"
                               " window[%1][%2].push(bytes); return true; })(atob(\"%3\"))")
                    .arg(key)
                    .arg(i)
                    .arg(QString::fromLatin1(piece)));
        }
    }
    transfer->scripts.append(finish(key, QString::fromUtf8(QJsonDocument(names).toJson(QJsonDocument::Compact)),
                                    QString::fromUtf8(QJsonDocument(types).toJson(QJsonDocument::Compact))));
    step(transfer);
}

QList<QUrl> droppableFiles(const QMimeData* mime, qint64 maxFileSize)
{
    QList<QUrl> files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        const QFileInfo info(url.toLocalFile());
        if (url.isLocalFile() && info.isFile() && info.size() <= maxFileSize)
            files.append(url);
    }
    return files;
}

// Takes file drags on the page's widget for the page.
class DropTarget : public QObject
{
public:
    DropTarget(WebView& view, qint64 maxFileSize)
        : QObject(&view)
        , m_view(view)
        , m_maxFileSize(maxFileSize)
    { }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            m_hovering = droppableFiles(drag->mimeData(), m_maxFileSize);
            if (m_hovering.isEmpty())
                return false;
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            QList<QUrl> urls = droppableFiles(drop->mimeData(), m_maxFileSize);
            // Another program's drop can come without its data: Qt asks the
            // source for it again at the drop, and a source that answered
            // while the files were dragged over the page may not answer
            // then. The files it offered while hovering are the ones the
            // user let go of.
            if (urls.isEmpty())
                urls = m_hovering;
            m_hovering.clear();
            if (urls.isEmpty())
                return false;
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            QList<WebView::PastedFile> files;
            const QMimeDatabase types;
            for (const QUrl& url : urls) {
                QFile file(url.toLocalFile());
                WebView::PastedFile entry;
                entry.name = QFileInfo(file).fileName();
                if (!file.open(QIODevice::ReadOnly)) {
                    Notices::report(QStringLiteral("Quillnook: %1 could not be read for the page: %2")
                                        .arg(file.fileName(), file.errorString()));
                    continue;
                }
                entry.data = file.readAll();
                entry.mimeType = types.mimeTypeForFileNameAndData(entry.name, entry.data).name();
                files.append(std::move(entry));
            }
            const QPointF at = drop->position() / (m_view.zoomFactor() > 0 ? m_view.zoomFactor() : 1.0);
            if (!files.isEmpty())
                FilePaste::drop(m_view, files, at, {});
            return true;
        }
        case QEvent::DragLeave:
            m_hovering.clear();
            return false;
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    WebView& m_view;
    qint64 m_maxFileSize;
    // What the drag over the page offered last.
    QList<QUrl> m_hovering;
};
} // namespace

void FilePaste::paste(WebView& view, const QList<WebView::PastedFile>& files, Completion completion)
{
    deliver(view, files, std::move(completion),
            [](const QString& key, const QString& names, const QString& types) -> QString {
                return QString::fromUtf8(DispatchScript) + u'(' + key + u',' + names + u',' + types + u')';
            });
}

void FilePaste::drop(WebView& view, const QList<WebView::PastedFile>& files, QPointF at, Completion completion)
{
    deliver(view, files, std::move(completion),
            [at](const QString& key, const QString& names, const QString& types) -> QString {
                return QString::fromUtf8(DropScript) + u'(' + key + u',' + names + u',' + types + u','
                    + QString::number(at.x()) + u',' + QString::number(at.y()) + u')';
            });
}

void FilePaste::acceptFileDrops(WebView& view, qint64 maxFileSize)
{
    QWidget* widget = view.widget();
    widget->setAcceptDrops(true);
    widget->installEventFilter(new DropTarget(view, maxFileSize));
}
