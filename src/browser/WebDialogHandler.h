#pragma once

#include <functional>

#include <QList>
#include <QObject>
#include <QPointer>

#include "browser/BrowserDialogHandler.h"

class ScriptDialog;
class QWidget;

// Answers one tab's page: a new-window request loads in the same view and
// never opens a window; an alert, confirmation or prompt is an
// application-modal dialog, shown after the panel has been brought to the
// front. The dialogs do not block: the page waits for its answer while the
// event loop runs on, so a tab closed meanwhile cannot pull the handler out
// from under a running dialog.
class WebDialogHandler : public QObject, public BrowserDialogHandler
{
    Q_OBJECT

public:
    // Shows and raises the panel and returns it, to hold the dialogs; it may
    // return null, and the dialogs then stand alone.
    using BringPanelToFront = std::function<QWidget*()>;

    explicit WebDialogHandler(BringPanelToFront bringPanelToFront = {}, QObject* parent = nullptr);
    ~WebDialogHandler() override;

    void webViewCreateWebView(WebView& view, const QUrl& request, bool hasTargetFrame) override;
    void webViewRunAlert(WebView& view, const QString& message, std::function<void()> completion) override;
    void webViewRunConfirm(WebView& view, const QString& message, std::function<void(bool)> completion) override;
    void webViewRunPrompt(WebView& view, const QString& prompt, const QString& defaultText,
                          std::function<void(std::optional<QString>)> completion) override;
    void dismissDialogs() override;

    // The dialogs still waiting for the user.
    QList<ScriptDialog*> openDialogs() const;

signals:
    void dialogShown(ScriptDialog* dialog);

private:
    void show(ScriptDialog* dialog);

    BringPanelToFront m_bringPanelToFront;
    QList<QPointer<ScriptDialog>> m_dialogs;
};
