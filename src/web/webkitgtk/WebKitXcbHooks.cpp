#include "WebKitXcbHooks.h"

#include <xcb/xcb.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QWidget>
#include <QWindow>

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
    const uint8_t type = event->response_type & ~0x80;
    if (type == XCB_FOCUS_IN) {
        // Qt's own handling runs after this filter; the check must see its result.
        if (reinterpret_cast<const xcb_focus_in_event_t*>(event)->detail != XCB_NOTIFY_DETAIL_POINTER)
            QMetaObject::invokeMethod(this, &WebKitXcbHooks::reactivateFocusWindow, Qt::QueuedConnection);
        return false;
    }
    if (type != XCB_FOCUS_OUT)
        return false;
    // The focus went to a window inside ours: the embedded page. For Qt the
    // panel is still the active window.
    return reinterpret_cast<const xcb_focus_out_event_t*>(event)->detail == XCB_NOTIFY_DETAIL_INFERIOR;
}

void WebKitXcbHooks::reactivateFocusWindow()
{
    // Hiding the panel makes Qt forget its active widget window at once, but
    // Qt drops its window's focus only a moment after the X focus left. A
    // panel shown again within that moment (a quick toggle, above all while
    // its page held the keyboard) gets the X focus back while Qt still takes
    // it for the focused window: Qt then sees no change, the panel stays
    // inactive for good and no widget of it can take the keyboard.
    QWindow* focused = QGuiApplication::focusWindow();
    if (!focused || QApplication::activePopupWidget())
        return;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->windowHandle() == focused) {
            if (window->isVisible() && QApplication::activeWindow() != window)
                QApplication::setActiveWindow(window);
            return;
        }
    }
}

void WebKitXcbHooks::flush()
{
    if (xcb_connection_t* connection = qtConnection())
        xcb_flush(connection);
}

void WebKitXcbHooks::syncQt()
{
    xcb_connection_t* connection = qtConnection();
    if (!connection)
        return;
    // A round trip: every request sent before it has been handled.
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}
