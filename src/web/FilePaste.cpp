#include "FilePaste.h"

#include <memory>

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QUuid>

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
    var target = document.activeElement || document.body || document.documentElement;
    for (;;) {
        var inner = null;
        try {
            inner = (target.shadowRoot && target.shadowRoot.activeElement)
                || (target.contentDocument && target.contentDocument.activeElement);
        } catch (e) {}
        if (!inner || inner === target)
            break;
        target = inner;
    }
    var data = new DataTransfer();
    for (var i = 0; i < names.length; ++i)
        data.items.add(new File(parts[i] || [], names[i], {type: types[i], lastModified: Date.now()}));
    var event = new ClipboardEvent('paste', {bubbles: true, cancelable: true, composed: true, clipboardData: data});
    target.dispatchEvent(event);
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

void FilePaste::paste(WebView& view, const QList<WebView::PastedFile>& files, Completion completion)
{
    auto transfer = std::make_shared<Transfer>();
    transfer->view = &view;
    transfer->completion = completion ? std::move(completion) : [](bool) {};
    // A name no page script knows, so the pieces meet nothing of the page's.
    const QString key = jsonString(QStringLiteral("quillnook-paste-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    transfer->scripts.append(
        QStringLiteral("Object.defineProperty(window, %1, {value: [], configurable: true}); true").arg(key));
    QJsonArray names;
    QJsonArray types;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const WebView::PastedFile& file = files.at(i);
        names.append(file.name);
        types.append(file.mimeType.isEmpty() ? QStringLiteral("application/octet-stream") : file.mimeType);
        transfer->scripts.append(QStringLiteral("window[%1][%2] = []; true").arg(key).arg(i));
        for (qsizetype at = 0; at < file.data.size(); at += PieceSize) {
            const QByteArray piece = file.data.mid(at, PieceSize).toBase64();
            transfer->scripts.append(QStringLiteral("(function(raw) { var bytes = new Uint8Array(raw.length);"
                                                    " for (var j = 0; j < raw.length; ++j) bytes[j] = raw.charCodeAt(j);"
                                                    " window[%1][%2].push(bytes); return true; })(atob(\"%3\"))")
                                         .arg(key)
                                         .arg(i)
                                         .arg(QString::fromLatin1(piece)));
        }
    }
    transfer->scripts.append(QString::fromUtf8(DispatchScript) + u'(' + key + u','
                             + QString::fromUtf8(QJsonDocument(names).toJson(QJsonDocument::Compact)) + u','
                             + QString::fromUtf8(QJsonDocument(types).toJson(QJsonDocument::Compact)) + u')');
    step(transfer);
}
