#include "ImagePaste.h"

#include <thread>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>
#include <QPointer>

#include "web/FocusedElementScript.h"
#include "web/WebView.h"

namespace {
const QString PngType = QStringLiteral("image/png");

// The page script: a function expression, called with the base64 PNG and the
// text as JSON string literals.
const char* const EventScript = R"JS((function(png, text) {
)JS" QUILLNOOK_FOCUSED_ELEMENT_JS R"JS(    var raw = atob(png);
    var bytes = new Uint8Array(raw.length);
    for (var i = 0; i < raw.length; ++i)
        bytes[i] = raw.charCodeAt(i);
    var data = new DataTransfer();
    if (text)
        data.setData('text/plain', text);
    data.items.add(new File([bytes], 'image.png', {type: 'image/png', lastModified: Date.now()}));
    var event = new ClipboardEvent('paste', {bubbles: true, cancelable: true, composed: true, clipboardData: data});
    target.dispatchEvent(event);
    return event.defaultPrevented;
}))JS";

// The same event from a script world of our own, with the PNG fetched from
// the one-time addresses the view offers its pieces at: the bytes never pass
// through a script's text. 'unreached' when they could not be fetched,
// before any event went out.
const char* const FetchEventBody = R"JS(var blob;
try {
    var responses = await Promise.all(addresses.split(' ').map(function (address) {
        return fetch(address, {cache: 'no-store', credentials: 'omit', referrerPolicy: 'no-referrer'});
    }));
    if (!responses.every(function (response) { return response.ok; }))
        return 'unreached';
    var pieces = await Promise.all(responses.map(function (response) { return response.blob(); }));
    blob = new Blob(pieces, {type: 'image/png'});
} catch (e) {
    return 'unreached';
}
)JS" QUILLNOOK_FOCUSED_ELEMENT_JS R"JS(var data = new DataTransfer();
data.items.add(new File([blob], 'image.png', {type: 'image/png', lastModified: Date.now()}));
var event = new ClipboardEvent('paste', {bubbles: true, cancelable: true, composed: true, clipboardData: data});
target.dispatchEvent(event);
return event.defaultPrevented;)JS";

QString jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact);
    // ["…"] -> "…"
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}
} // namespace

QByteArray ImagePaste::pngFromClipboard(const QMimeData* clipboard)
{
    if (!clipboard)
        return {};
    // Another program's PNG goes to the page as it is.
    if (clipboard->hasFormat(PngType)) {
        const QByteArray png = clipboard->data(PngType);
        if (png.startsWith("\x89PNG\r\n\x1a\n"))
            return png;
    }
    if (!clipboard->hasImage())
        return {};
    const QImage image = qvariant_cast<QImage>(clipboard->imageData());
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // For PNG, Qt turns the quality into the zlib level: 80 gives level 1,
    // about half the default's time for a screenshot and nearly its size.
    // (Its compression setting only switches zlib off.)
    writer.setQuality(80);
    if (!writer.write(image))
        return {};
    return png;
}

QString ImagePaste::pasteEventScript(const QByteArray& png, const QString& text)
{
    return QString::fromUtf8(pasteEventScriptUtf8(png, text));
}

QByteArray ImagePaste::pasteEventScriptUtf8(const QByteArray& png, const QString& text)
{
    const QByteArray event(EventScript);
    const QByteArray json = jsonString(text).toUtf8();
    const qsizetype base64Size = (png.size() + 2) / 3 * 4;
    QByteArray script;
    script.reserve(event.size() + base64Size + json.size() + 8);
    script.append(event).append("(\"").append(png.toBase64()).append("\",").append(json).append(')');
    return script;
}

namespace {
// The whole PNG inside one script: for engines without a one-time address.
void pasteThroughScript(WebView& view, const QByteArray& png, std::function<void()> nativePaste)
{
    // A screenshot's script runs to tens of megabytes; it is written on a
    // thread of its own so the panel keeps answering meanwhile.
    QPointer<WebView> guard(&view);
    std::thread([guard, png, nativePaste = std::move(nativePaste)]() mutable {
        QByteArray script = ImagePaste::pasteEventScriptUtf8(png, QString());
        QMetaObject::invokeMethod(
            qApp,
            [guard, script = std::move(script), nativePaste = std::move(nativePaste)]() mutable {
                if (!guard)
                    return;
                guard->evaluateJavaScriptUtf8(
                    script, [guard, nativePaste = std::move(nativePaste)](const QVariant& taken, const QString& error) {
                        if (guard && (!error.isEmpty() || !taken.toBool()))
                            nativePaste();
                    });
            },
            Qt::QueuedConnection);
    }).detach();
}
} // namespace

void ImagePaste::paste(WebView& view, const QByteArray& png, const QString& text, std::function<void()> nativePaste)
{
    // Cells copied from a spreadsheet come as text and as a picture of
    // them; a text field wants the text.
    if (png.isEmpty() || !text.isEmpty()) {
        nativePaste();
        return;
    }
    // The bytes wait in memory for the page to fetch them: nothing of the
    // size of the picture is written, copied or parsed on this thread.
    const QStringList addresses = view.offerOnce(png, PngType);
    if (addresses.isEmpty()) {
        pasteThroughScript(view, png, std::move(nativePaste));
        return;
    }
    QPointer<WebView> guard(&view);
    view.callIsolatedAsyncFunction(QString::fromUtf8(FetchEventBody),
                                   {{QStringLiteral("addresses"), addresses.join(u' ')}},
                                   [guard, addresses, png, nativePaste = std::move(nativePaste)](
                                       const QVariant& taken, const QString& error) mutable {
                                       if (!guard)
                                           return;
                                       guard->withdrawOffer(addresses);
                                       if (error.isEmpty() && taken.toString() == QLatin1String("unreached"))
                                           pasteThroughScript(*guard, png, std::move(nativePaste));
                                       else if (!error.isEmpty() || !taken.toBool())
                                           nativePaste();
                                   });
}
