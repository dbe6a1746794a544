#include "PortalScreenCaptureService.h"

#include <QClipboard>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "base/Notices.h"
#include "platform/portal/PortalRequest.h"

namespace {
const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");

// The window the capture was asked from: the focused one, else the panel.
const QWindow* askingWindow()
{
    if (const QWindow* focused = QGuiApplication::focusWindow())
        return focused;
    const auto windows = QGuiApplication::topLevelWindows();
    for (const QWindow* window : windows) {
        if (window->isVisible())
            return window;
    }
    return nullptr;
}
} // namespace

std::unique_ptr<PortalScreenCaptureService> PortalScreenCaptureService::create(const QDBusConnection& bus)
{
    if (!PortalRequest::probeNow(bus, screenshotInterface))
        return nullptr;
    return std::make_unique<PortalScreenCaptureService>(bus);
}

std::unique_ptr<PortalScreenCaptureService> PortalScreenCaptureService::createProbing(const QDBusConnection& bus)
{
    auto service = std::make_unique<PortalScreenCaptureService>(bus);
    PortalScreenCaptureService* probed = service.get();
    probed->m_offered = Offered::Unknown;
    PortalRequest::probe(bus, screenshotInterface, probed,
                         [probed](bool offered) { probed->m_offered = offered ? Offered::Yes : Offered::No; });
    return service;
}

PortalScreenCaptureService::PortalScreenCaptureService(const QDBusConnection& bus, QObject* parent)
    : ScreenCaptureService(parent)
    , m_bus(bus)
{ }

QString PortalScreenCaptureService::parentWindowHandle(const QWindow* window)
{
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    return QStringLiteral("x11:") + QString::number(window->winId(), 16);
}

std::optional<QString> PortalScreenCaptureService::startCapture(std::function<void()> ended)
{
    if (m_offered == Offered::No)
        return QStringLiteral("this Wayland session offers no screenshot portal");
    // Asking the bus, not the portal, so the answer comes at once.
    QDBusConnectionInterface* busInterface = m_bus.isConnected() ? m_bus.interface() : nullptr;
    if (!busInterface)
        return QStringLiteral("there is no session bus to reach the desktop's screenshot portal");
    const QString service = QLatin1String(PortalRequest::Service);
    if (!busInterface->isServiceRegistered(service).value()
        && !busInterface->activatableServiceNames().value().contains(service))
        return QStringLiteral("the desktop offers no screenshot portal");

    auto* request = new PortalRequest(m_bus, this);
    QDBusMessage call
        = QDBusMessage::createMethodCall(QLatin1String(PortalRequest::Service), QLatin1String(PortalRequest::Path),
                                         screenshotInterface, QStringLiteral("Screenshot"));
    call << parentWindowHandle(askingWindow())
         << QVariantMap {{QStringLiteral("handle_token"), request->token()},
                         {QStringLiteral("modal"), true},
                         {QStringLiteral("interactive"), false}};
    connect(request, &PortalRequest::finished, this, [this, request, ended](uint response, const QVariantMap& results) {
        request->deleteLater();
        finish(response, results, ended);
    });
    connect(request, &PortalRequest::failed, this, [this, request, ended](const QString& reason) {
        request->deleteLater();
        reportFailure(QStringLiteral("the desktop's screenshot portal did not take the request: ") + reason);
        QTimer::singleShot(0, this, ended);
    });
    if (auto error = request->send(call)) {
        delete request;
        return *error;
    }
    return std::nullopt;
}

void PortalScreenCaptureService::finish(uint response, const QVariantMap& results, const std::function<void()>& ended)
{
    // A user who cancels gets no message: the unchanged clipboard tells.
    if (response == PortalRequest::Success) {
        const QUrl uri(results.value(QStringLiteral("uri")).toString());
        const QString path = uri.isLocalFile() ? uri.toLocalFile() : QString();
        const QImage image(path);
        if (image.isNull()) {
            reportFailure(QStringLiteral("the desktop's screenshot could not be read from ") + uri.toDisplayString());
        } else {
            QGuiApplication::clipboard()->setImage(image);
        }
        if (!path.isEmpty() && QFile::exists(path) && !QFile::remove(path))
            Notices::report(QStringLiteral("Quillnook: could not remove the screenshot file ") + path);
    } else if (response != PortalRequest::Cancelled) {
        reportFailure(QStringLiteral("the desktop refused the screenshot"));
    }
    // A later turn, so the clipboard's change has been seen by then.
    QTimer::singleShot(0, this, ended);
}

void PortalScreenCaptureService::reportFailure(const QString& reason)
{
    Notices::warn(QStringLiteral("Could not capture the screen: ") + reason);
}
