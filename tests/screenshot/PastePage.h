#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

#include "support/PageScript.h"
#include "support/X11Tools.h"
#include "web/WebView.h"

// A test page that records every paste event it gets, as a chat composer
// reads it, and the means to read that record back and to click into it.
namespace PastePage {

// The record: per event its target and the focused element, its text, and
// its files (each decoded to learn its size). A composer takes a pasted file
// for itself (`takeFiles`), so the engine's own paste does not follow.
inline QByteArray html(const QByteArray& body, bool takeFiles = true)
{
    return "<!doctype html><html><head><title>Chat</title></head><body>" + body + R"(<script>
window.pastes = [];
document.addEventListener('paste', function (event) {
    var record = {target: event.target.id || event.target.tagName, active: document.activeElement.id,
                  text: event.clipboardData.getData('text/plain'), files: []};
    window.pastes.push(record);
    for (const file of event.clipboardData.files) {
        const entry = {type: file.type, width: 0, height: 0};
        record.files.push(entry);
        createImageBitmap(file).then(function (bitmap) { entry.width = bitmap.width; entry.height = bitmap.height; });
    }
    if (record.files.length && )"
        + (takeFiles ? "true" : "false") + R"()
        event.preventDefault();
}, true);
</script></body></html>)";
}

// The X screen's size as xdpyinfo reports it.
inline QSize xScreenSize()
{
    const QString info = X11Tools::run(QStringLiteral("xdpyinfo"), {});
    const auto match = QRegularExpression(QStringLiteral("dimensions:\\s+(\\d+)x(\\d+) pixels")).match(info);
    return match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
}

inline bool xdotool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), args);
    if (!process.waitForStarted(5000))
        return false;
    // This process keeps serving its windows and the clipboard meanwhile.
    return QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 10000)
        && process.exitCode() == 0;
}

inline QVariant js(WebView& view, const QString& script)
{
    return PageScript::run(view, script);
}

inline QVariantList pastes(WebView& view)
{
    const QString json = js(view, QStringLiteral("JSON.stringify(window.pastes || [])")).toString();
    return QJsonDocument::fromJson(json.toUtf8()).toVariant().toList();
}

// The first pasted file, once the page has decoded it.
inline QVariantMap firstFile(WebView& view)
{
    QVariantMap file;
    const bool decoded = QTest::qWaitFor(
        [&] {
            file = pastes(view).value(0).toMap().value(QStringLiteral("files")).toList().value(0).toMap();
            return file.value(QStringLiteral("width")).toInt() > 0;
        },
        10000);
    if (!decoded)
        qWarning("The page decoded no pasted file");
    return file;
}

inline QSize sizeOf(const QVariantMap& file)
{
    return {file.value(QStringLiteral("width")).toInt(), file.value(QStringLiteral("height")).toInt()};
}

inline QString activeElement(WebView& view)
{
    return js(view, QStringLiteral("document.activeElement.id")).toString();
}

// A real click (xdotool) on the centre of the element with this id.
inline bool click(WebView& view, const QString& id)
{
    const QVariantList centre
        = js(view,
             QStringLiteral("(function(r) { return [r.left + r.width / 2, r.top + r.height / 2]; })("
                            "document.getElementById('%1').getBoundingClientRect())")
                 .arg(id))
              .toList();
    if (centre.size() != 2)
        return false;
    const QPoint at
        = view.widget()->mapToGlobal(QPoint(qRound(centre.at(0).toDouble()), qRound(centre.at(1).toDouble())));
    return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                    QStringLiteral("sleep"), QStringLiteral("0.2"), QStringLiteral("click"), QStringLiteral("1"),
                    QStringLiteral("sleep"), QStringLiteral("0.2")});
}

} // namespace PastePage
