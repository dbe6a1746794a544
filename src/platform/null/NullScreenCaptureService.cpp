#include "NullScreenCaptureService.h"

#include <utility>

NullScreenCaptureService::NullScreenCaptureService(QString reason, QObject* parent)
    : ScreenCaptureService(parent)
    , m_reason(std::move(reason))
{ }

std::optional<QString> NullScreenCaptureService::startCapture(std::function<void()>)
{
    return m_reason;
}
