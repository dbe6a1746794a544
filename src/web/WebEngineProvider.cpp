#include "WebEngineProvider.h"

#include "web/WebView.h"

WebEngineProvider::~WebEngineProvider() = default;

void WebEngineProvider::setEngine(std::unique_ptr<WebEngine> engine)
{
    m_engine = std::move(engine);
    m_unavailableReason.clear();
    emit ready();
}

void WebEngineProvider::setUnavailable(const QString& reason)
{
    m_unavailableReason = reason;
    emit unavailable(reason);
}
