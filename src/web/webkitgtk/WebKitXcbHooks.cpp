#include "WebKitXcbHooks.h"

#include <xcb/xcb.h>

#include <QAbstractEventDispatcher>
#include <QGuiApplication>

namespace {
xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}
} // namespace

WebKitXcbHooks::WebKitXcbHooks()
{
    qGuiApp->installNativeEventFilter(this);
    // While a page has the X focus, window property changes (the panel's
    // opacity) would otherwise wait in Qt's output buffer.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &WebKitXcbHooks::flush);
}

WebKitXcbHooks::~WebKitXcbHooks()
{
    if (qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
}

bool WebKitXcbHooks::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_FOCUS_OUT)
        return false;
    // The focus went to a window inside ours: the embedded page. For Qt the
    // panel is still the active window.
    return reinterpret_cast<const xcb_focus_out_event_t*>(event)->detail == XCB_NOTIFY_DETAIL_INFERIOR;
}

void WebKitXcbHooks::flush()
{
    if (xcb_connection_t* connection = qtConnection())
        xcb_flush(connection);
}
