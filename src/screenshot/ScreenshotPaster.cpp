#include "ScreenshotPaster.h"

#include <QPointer>

#include "base/Notices.h"
#include "platform/ClipboardService.h"
#include "platform/ScreenCaptureService.h"
#include "web/WebView.h"

QByteArray ScreenshotPaster::focusScript()
{
    return QByteArrayLiteral("(function() {\n"
                             "    var el = document.querySelector('#prompt-textarea')\n"
                             "        || document.querySelector('[contenteditable=\"true\"]')\n"
                             "        || document.querySelector('textarea');\n"
                             "    if (el) { el.focus(); }\n"
                             "})();");
}

void ScreenshotPaster::captureAndPaste(WebView& into, Completion completion, const Services& services)
{
    if (!completion)
        completion = [](bool) {};
    QPointer<ClipboardService> clipboard(&services.clipboard);
    const std::uint64_t baseline = clipboard->changeCount();
    QPointer<WebView> view(&into);
    const std::function<void()> beep = services.beep;

    auto ended = [clipboard, baseline, view, beep, completion] {
        // Only the count tells whether the capture produced anything.
        if (!clipboard || clipboard->changeCount() == baseline) {
            beep();
            completion(false);
            return;
        }
        // The tab was closed during the capture; the image stays on the
        // clipboard for the user to paste elsewhere.
        if (!view) {
            completion(false);
            return;
        }
        view->focusPage();
        view->evaluateJavaScript(QString::fromUtf8(focusScript()), [view, completion](const QVariant&, const QString&) {
            // Whatever the script found, the paste goes out.
            if (!view) {
                completion(false);
                return;
            }
            view->paste();
            completion(true);
        });
    };

    if (const auto failure = services.capture.startCapture(std::move(ended))) {
        Notices::warn(QStringLiteral("Could not capture the screen: ") + *failure);
        services.beep();
        completion(false);
    }
}
