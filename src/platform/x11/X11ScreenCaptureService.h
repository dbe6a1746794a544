#pragma once

#include <memory>

#include "platform/ScreenCaptureService.h"

class ClipboardService;

// Captures the whole X screen (the root window: every monitor, placed as
// they are) onto the clipboard, with its PNG encoding. The image is fetched
// and encoded on a worker thread with a connection of its own, so the event
// loop keeps running while the server and the encoder work.
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
