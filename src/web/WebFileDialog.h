#pragma once

#include <QFileDialog>
#include <QObject>
#include <QPointer>

#include "web/WebFileChooser.h"

// A page's file chooser as the program's own file dialog: modal, above the
// panel and transient for it, on the panel's screen. It goes through the
// desktop's portal where Qt uses one, like the shelf's "Choose Files…".
class WebFileDialog : public QObject, public WebFileChooser
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~WebFileDialog() override;

    void webViewRunFileChooser(WebView& view, const WebFileChooserRequest& request,
                               std::function<void(std::optional<QStringList>)> completion) override;

    // The dialog's name filters for what a page accepts; empty for any file.
    static QStringList nameFilters(const WebFileChooserRequest& request);

    // The dialog open now, or null.
    QFileDialog* openDialog() const { return m_dialog; }

Q_SIGNALS:
    void dialogShown(QFileDialog* dialog);

private:
    QPointer<QFileDialog> m_dialog;
};
