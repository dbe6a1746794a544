#include "NullScreenCaptureService.h"

#include <QGuiApplication>

std::optional<QString> NullScreenCaptureService::startCapture(std::function<void()>)
{
    return QStringLiteral("screen capture is not available on this desktop (%1)").arg(QGuiApplication::platformName());
}
