#pragma once

#include "platform/ScreenCaptureService.h"

// For desktops without a capture backend: every capture is refused, with
// the reason.
class NullScreenCaptureService : public ScreenCaptureService
{
    Q_OBJECT

public:
    explicit NullScreenCaptureService(QString reason, QObject* parent = nullptr);

    std::optional<QString> startCapture(std::function<void()> ended) override;

private:
    QString m_reason;
};
