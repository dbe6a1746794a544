#include "WebDialogHandler.h"

#include <QWidget>

#include "browser/ScriptDialog.h"

WebDialogHandler::WebDialogHandler(BringPanelToFront bringPanelToFront, QObject* parent)
    : QObject(parent)
    , m_bringPanelToFront(std::move(bringPanelToFront))
{ }

WebDialogHandler::~WebDialogHandler()
{
    dismissDialogs();
}

void WebDialogHandler::webViewCreateWebView(WebView& view, const QUrl& request, bool hasTargetFrame)
{
    // A request aimed at an existing frame is that frame's business; only a
    // new window or tab is turned into a load in place.
    if (!hasTargetFrame && request.isValid() && !request.isEmpty())
        view.load(request, WebView::DefaultTimeout);
}

void WebDialogHandler::webViewRunAlert(WebView&, const QString& message, std::function<void()> completion)
{
    show(new ScriptDialog(ScriptDialog::Kind::Alert, message, QString(),
                          [completion = std::move(completion)](bool, const QString&) {
                              if (completion)
                                  completion();
                          }));
}

void WebDialogHandler::webViewRunConfirm(WebView&, const QString& message, std::function<void(bool)> completion)
{
    show(new ScriptDialog(ScriptDialog::Kind::Confirm, message, QString(),
                          [completion = std::move(completion)](bool accepted, const QString&) {
                              if (completion)
                                  completion(accepted);
                          }));
}

void WebDialogHandler::webViewRunPrompt(WebView&, const QString& prompt, const QString& defaultText,
                                        std::function<void(std::optional<QString>)> completion)
{
    show(new ScriptDialog(ScriptDialog::Kind::Prompt, prompt, defaultText,
                          [completion = std::move(completion)](bool accepted, const QString& text) {
                              if (completion)
                                  completion(accepted ? std::optional<QString>(text) : std::nullopt);
                          }));
}

void WebDialogHandler::show(ScriptDialog* dialog)
{
    QWidget* panel = m_bringPanelToFront ? m_bringPanelToFront() : nullptr;
    if (panel) {
        // A child window of the panel: placed over it and kept above it.
        dialog->setParent(panel, dialog->windowFlags());
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialogs.removeAll(nullptr);
    m_dialogs.append(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    emit dialogShown(dialog);
}

void WebDialogHandler::dismissDialogs()
{
    const QList<QPointer<ScriptDialog>> dialogs = std::exchange(m_dialogs, {});
    for (const QPointer<ScriptDialog>& dialog : dialogs) {
        if (dialog) {
            // Answered now; gone on a later turn, as this may run inside
            // one of its own signals.
            dialog->reject();
            dialog->deleteLater();
        }
    }
}

QList<ScriptDialog*> WebDialogHandler::openDialogs() const
{
    QList<ScriptDialog*> open;
    for (const QPointer<ScriptDialog>& dialog : m_dialogs) {
        if (dialog && dialog->isVisible())
            open.append(dialog);
    }
    return open;
}
