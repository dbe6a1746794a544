#pragma once

#include <cstdio>
#include <memory>

#include <QDBusConnection>

#include "platform/ScreenCaptureService.h"

class QWindow;

// Screen capture on Wayland sessions, where only the desktop may read the
// screen: the screenshot portal, without its interactive dialog. The desktop
// writes the picture to a file; its image goes on the clipboard and the file
// is removed, so the outcome matches the X11 capture.
class PortalScreenCaptureService : public ScreenCaptureService
{
    Q_OBJECT

public:
    // Nothing when the bus offers no screenshot portal; waits for the answer.
    static std::unique_ptr<PortalScreenCaptureService> create(const QDBusConnection& bus);
    // Never waits: asks the portal in the background, and once it said it
    // has no screenshot interface, refuses every capture with why.
    static std::unique_ptr<PortalScreenCaptureService> createProbing(const QDBusConnection& bus);
    // Refusals that only show up after the start are told in a notice line.
    explicit PortalScreenCaptureService(const QDBusConnection& bus, QObject* parent = nullptr);

    std::optional<QString> startCapture(std::function<void()> ended) override;

    // How the portal names the window its dialogs belong to: "x11:<hex id>"
    // for an X11 window, empty where we cannot say.
    static QString parentWindowHandle(const QWindow* window);

private:
    void finish(uint response, const QVariantMap& results, const std::function<void()>& ended);
    void reportFailure(const QString& reason);

    enum class Offered
    {
        Unknown,
        Yes,
        No
    };

    QDBusConnection m_bus;
    Offered m_offered = Offered::Yes;
};
