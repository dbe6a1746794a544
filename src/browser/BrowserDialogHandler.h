#pragma once

#include <functional>
#include <memory>

#include "web/WebView.h"

// Answers one tab's page when it asks for a dialog or a new window. The
// answers are Qt dialogs, so the handler comes from the views library through
// a factory handed to the tabs; the tabs themselves stay free of widgets and
// can be driven by a fake engine in tests.
class BrowserDialogHandler : public WebUiDelegate
{
public:
    virtual ~BrowserDialogHandler() = default;

    // The tab is closing: every dialog still open is answered as if cancelled
    // and goes away, so no page waits for ever and none is answered twice.
    virtual void dismissDialogs() = 0;

    // The tab shows a new page: what the user chose about the last page's
    // dialogs no longer holds.
    virtual void pageNavigated() = 0;
};

using DialogHandlerFactory = std::function<std::unique_ptr<BrowserDialogHandler>()>;
