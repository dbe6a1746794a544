#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

// What Qt's own X connection needs while pages hold the X focus, once per
// application: the panel stays active when its embedded page takes the focus
// (and becomes active again when the focus comes back to it), and Qt's
// requests are flushed although no X event wakes Qt up.
class WebKitXcbHooks : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    WebKitXcbHooks();
    ~WebKitXcbHooks() override;

    // Sends Qt's queued requests and waits until the server has them.
    static void syncQt();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void flush();
    void reactivateFocusWindow();
};
