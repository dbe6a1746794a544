#pragma once

#include <memory>
#include <optional>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "web/WebEngineLoader.h"
#include "web/WebView.h"

// Puts HOME and the XDG folders into a throwaway folder before the
// application starts, so site data and downloads never touch the real ones.
inline QTemporaryDir& testHome()
{
    static QTemporaryDir home;
    return home;
}

inline void useTestHome()
{
    const QString root = testHome().path();
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
}

// The real engine from the module built beside the program, started once.
inline WebEngine* loadedEngine()
{
    static WebEngineLoader loader({QStringLiteral(QUILLNOOK_WEB_MODULE_PATH)});
    if (!loader.engine() && !loader.isUnavailable()) {
        QSignalSpy ready(&loader, &WebEngineProvider::ready);
        loader.startNow();
        if (!ready.wait(20000))
            qWarning("The web engine did not start: %s", qPrintable(loader.unavailableReason()));
    }
    return loader.engine();
}

// Records what one view reports, and answers its dialogs as told.
class RecordingDelegates final : public WebNavigationDelegate, public WebUiDelegate
{
public:
    int finished = 0;
    QStringList provisionalFailures;
    QStringList failures;
    QList<QUrl> newWindows;
    QStringList dialogs;

    bool confirmAnswer = true;
    std::optional<QString> promptAnswer;
    // Keeps the answer back instead, to be given (or dropped) by the test.
    bool holdDialogs = false;
    std::function<void()> heldAnswer;

    void webViewDidFinishNavigation(WebView&) override { ++finished; }
    void webViewDidFailProvisionalNavigation(WebView&, const QString& error) override
    {
        provisionalFailures.append(error);
    }
    void webViewDidFailNavigation(WebView&, const QString& error) override { failures.append(error); }
    void webViewCreateWebView(WebView& view, const QUrl& request, bool hasTargetFrame) override
    {
        QCOMPARE(hasTargetFrame, false);
        newWindows.append(request);
        view.navigateFromPage(request);
    }
    void webViewRunAlert(WebView&, const QString& message, std::function<void()> completion) override
    {
        dialogs.append(QStringLiteral("alert:") + message);
        answer([completion] { completion(); });
    }
    void webViewRunConfirm(WebView&, const QString& message, std::function<void(bool)> completion) override
    {
        dialogs.append(QStringLiteral("confirm:") + message);
        answer([completion, ok = confirmAnswer] { completion(ok); });
    }
    void webViewRunPrompt(WebView&, const QString& prompt, const QString& defaultText,
                          std::function<void(std::optional<QString>)> completion) override
    {
        dialogs.append(QStringLiteral("prompt:") + prompt + QLatin1Char('|') + defaultText);
        answer([completion, text = promptAnswer] { completion(text); });
    }

    int outcomes() const { return finished + int(provisionalFailures.size() + failures.size()); }

private:
    void answer(std::function<void()> give)
    {
        if (holdDialogs)
            heldAnswer = std::move(give);
        else
            give();
    }
};
