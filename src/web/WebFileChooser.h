#pragma once

#include <functional>
#include <optional>

#include <QStringList>

class WebView;

// What a page's <input type=file> asks for.
struct WebFileChooserRequest
{
    // `multiple`: more than one file may be chosen.
    bool multiple = false;
    // `webkitdirectory`: one folder, whose files the page then receives.
    bool directory = false;
    // `accept`, as MIME types ("image/png", "image/*") and file name
    // patterns ("*.pdf"); empty: any file.
    QStringList mimeTypes;
    QStringList patterns;
    // The files the field holds now.
    QStringList selected;
};

// Answers a page's file chooser. The completion gets the chosen local paths,
// or nothing when the user cancelled (the page's field then stays as it was).
// It must be called exactly once; calling it after the view has gone is
// harmless.
class WebFileChooser
{
public:
    virtual void webViewRunFileChooser(WebView& view, const WebFileChooserRequest& request,
                                       std::function<void(std::optional<QStringList>)> completion)
        = 0;

protected:
    ~WebFileChooser() = default;
};
