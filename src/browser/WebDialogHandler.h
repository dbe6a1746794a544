#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

#include "browser/BrowserDialogHandler.h"

class ScriptDialog;
class QWidget;

// Answers one tab's page: a new-window request becomes the page's own
// navigation in the same view and never opens a window; an alert,
// confirmation or prompt is a dialog over the panel, shown after the panel
// has been brought to the front. The dialogs block nothing: the page waits
// for its answer while the program runs on, so a tab closed meanwhile cannot
// pull the handler out from under a running dialog, and a page that asks
// without end cannot hold the other tools. The dialogs hide and show with the
// panel. From the second dialog in a short while, the user may stop the
// page's dialogs; until the tab shows another page they are then answered
// as cancelled, unseen.
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
    void pageNavigated() override;

    // Dialogs this close after the last one offer to stop the page's.
    static constexpr int RepeatWindowMs = 5000;

    // The page's dialogs are stopped.
    bool dialogsStopped() const { return m_stopped; }

    // The dialogs still waiting for the user.
    QList<ScriptDialog*> openDialogs() const;

signals:
    void dialogShown(ScriptDialog* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(ScriptDialog* dialog);

    BringPanelToFront m_bringPanelToFront;
    QList<QPointer<ScriptDialog>> m_dialogs;
    // The panel the dialogs sit over, followed as it hides and shows.
    QPointer<QWidget> m_panel;
    QList<QPointer<ScriptDialog>> m_hiddenWithPanel;
    bool m_stopped = false;
    // When the page's last dialog was answered; invalid before one was.
    QElapsedTimer m_lastAnswered;
};
