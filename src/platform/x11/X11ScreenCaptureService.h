#pragma once

#include <memory>

#include "platform/ScreenCaptureService.h"

class ClipboardService;

// Captures the whole X screen (the root window: every monitor, placed as
// they are) onto the clipboard. The image is requested from the server on a
// connection of our own and collected when it has arrived, so the event loop
// keeps running while the server works.
class X11ScreenCaptureService : public ScreenCaptureService
{
    Q_OBJECT

public:
    explicit X11ScreenCaptureService(ClipboardService& clipboard, QObject* parent = nullptr);
    ~X11ScreenCaptureService() override;

    std::optional<QString> startCapture(std::function<void()> ended) override;

private:
    class Private;
    std::unique_ptr<Private> d;
};
