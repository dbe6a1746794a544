#include "WebDialogHandler.h"

#include <QEvent>
#include <QWidget>

#include "browser/ScriptDialog.h"

WebDialogHandler::WebDialogHandler(BringPanelToFront bringPanelToFront, QObject* parent)
    : QObject(parent)
    , m_bringPanelToFront(std::move(bringPanelToFront))
{ }

WebDialogHandler::~WebDialogHandler()
{
    if (m_panel)
        m_panel->removeEventFilter(this);
    dismissDialogs();
}

void WebDialogHandler::webViewCreateWebView(WebView& view, const QUrl& request, bool hasTargetFrame)
{
    // A request aimed at an existing frame is that frame's business; only a
    // new window or tab becomes the page's own navigation in place.
    if (!hasTargetFrame && request.isValid() && !request.isEmpty())
        view.navigateFromPage(request);
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
    m_dialogs.removeAll(nullptr);
    if (m_stopped) {
        // Answered as cancelled, never shown.
        dialog->reject();
        delete dialog;
        return;
    }
    const bool repeated
        = !m_dialogs.isEmpty() || (m_lastAnswered.isValid() && m_lastAnswered.elapsed() < RepeatWindowMs);
    if (repeated)
        dialog->offerToStop();
    connect(dialog, &ScriptDialog::stopRequested, this, [this] { m_stopped = true; });
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        m_lastAnswered.start();
        m_dialogs.removeAll(dialog);
    });
    QWidget* panel = m_bringPanelToFront ? m_bringPanelToFront() : nullptr;
    if (panel) {
        // A child window of the panel: placed over it and kept above it.
        dialog->setParent(panel, dialog->windowFlags());
        if (m_panel != panel) {
            if (m_panel)
                m_panel->removeEventFilter(this);
            m_panel = panel;
            panel->installEventFilter(this);
        }
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
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

void WebDialogHandler::pageNavigated()
{
    m_stopped = false;
    m_lastAnswered.invalidate();
}

bool WebDialogHandler::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_panel && (event->type() == QEvent::Hide || event->type() == QEvent::Show)) {
        // Not alone on the desktop while the panel is away; over it again
        // once it is back.
        if (event->type() == QEvent::Hide) {
            for (const QPointer<ScriptDialog>& dialog : std::as_const(m_dialogs)) {
                if (dialog && dialog->isVisible()) {
                    dialog->hide();
                    m_hiddenWithPanel.append(dialog);
                }
            }
        } else {
            const QList<QPointer<ScriptDialog>> hidden = std::exchange(m_hiddenWithPanel, {});
            for (const QPointer<ScriptDialog>& dialog : hidden) {
                if (!dialog)
                    continue;
                dialog->show();
                dialog->raise();
                dialog->activateWindow();
            }
        }
    }
    return QObject::eventFilter(watched, event);
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
