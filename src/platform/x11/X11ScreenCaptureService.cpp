#include "X11ScreenCaptureService.h"

#include <cstdlib>
#include <deque>
#include <thread>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPointer>
#include <QSocketNotifier>
#include <QSysInfo>

#include "platform/ClipboardService.h"

namespace {
struct PixelLayout
{
    QImage::Format format = QImage::Format_Invalid;
    int bitsPerPixel = 0;
    int scanlinePad = 0;
};

// The root window's pixels as the server sends them, when QImage can take
// them as they are.
PixelLayout pixelLayout(const xcb_setup_t* setup, const xcb_screen_t* screen)
{
    PixelLayout layout;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats)) {
        if (formats.data->depth == screen->root_depth) {
            layout.bitsPerPixel = formats.data->bits_per_pixel;
            layout.scanlinePad = formats.data->scanline_pad;
        }
    }
    const xcb_visualtype_t* visual = nullptr;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem && !visual; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual) {
                visual = visuals.data;
                break;
            }
        }
    }
    const bool hostOrder
        = (setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) == (QSysInfo::ByteOrder == QSysInfo::LittleEndian);
    if (!visual || !hostOrder)
        return layout;
    if (layout.bitsPerPixel == 32 && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00
        && visual->blue_mask == 0xFF)
        layout.format = QImage::Format_RGB32;
    else if (layout.bitsPerPixel == 16 && visual->red_mask == 0xF800 && visual->green_mask == 0x7E0
             && visual->blue_mask == 0x1F)
        layout.format = QImage::Format_RGB16;
    return layout;
}
QByteArray encodePng(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // For PNG, Qt turns the quality into the zlib level: 80 gives level 1,
    // about half the default's time for a screenshot and nearly its size.
    writer.setQuality(80);
    return writer.write(image) ? png : QByteArray();
}
} // namespace

class X11ScreenCaptureService::Private
{
public:
    struct Pending
    {
        unsigned int sequence;
        int width;
        int height;
        PixelLayout layout;
        std::function<void()> ended;
    };

    explicit Private(X11ScreenCaptureService* q, ClipboardService& clipboard)
        : q(q)
        , clipboard(clipboard)
    { }
    ~Private() { disconnect(); }

    std::optional<QString> connect();
    void disconnect();
    void collect();
    void finish(Pending& pending, xcb_get_image_reply_t* reply);
    void end(std::function<void()> ended);

    X11ScreenCaptureService* q;
    ClipboardService& clipboard;
    xcb_connection_t* connection = nullptr;
    int screenNumber = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    std::deque<Pending> pending;
};

std::optional<QString> X11ScreenCaptureService::Private::connect()
{
    if (connection && !xcb_connection_has_error(connection))
        return std::nullopt;
    disconnect();
    connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        disconnect();
        const QByteArray display = qgetenv("DISPLAY");
        return QStringLiteral("cannot connect to the X server on display \"%1\"").arg(QString::fromLocal8Bit(display));
    }
    notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, q, [this] { collect(); });
    return std::nullopt;
}

void X11ScreenCaptureService::Private::disconnect()
{
    notifier.reset();
    if (connection)
        xcb_disconnect(connection);
    connection = nullptr;
}

void X11ScreenCaptureService::Private::collect()
{
    if (!connection)
        return;
    // Nothing asks for events, but the queue must not grow. This comes
    // first: reading events may pull a reply off the socket too, and a reply
    // left behind in xcb's queue would wake no socket notifier.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
        std::free(event);
    while (!pending.empty()) {
        xcb_get_image_reply_t* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (!xcb_poll_for_reply(connection, pending.front().sequence, reinterpret_cast<void**>(&reply), &error)) {
            if (!xcb_connection_has_error(connection))
                break;
        }
        std::free(error);
        Pending done = std::move(pending.front());
        pending.pop_front();
        finish(done, reply);
    }
    if (xcb_connection_has_error(connection)) {
        for (Pending& lost : pending)
            end(std::move(lost.ended));
        pending.clear();
        disconnect();
    }
}

void X11ScreenCaptureService::Private::finish(Pending& done, xcb_get_image_reply_t* reply)
{
    if (!reply) {
        end(std::move(done.ended));
        return;
    }
    const int stride = ((done.width * done.layout.bitsPerPixel + done.layout.scanlinePad - 1) / done.layout.scanlinePad)
        * done.layout.scanlinePad / 8;
    const int length = xcb_get_image_data_length(reply);
    if (static_cast<long long>(stride) * done.height > length) {
        std::free(reply);
        end(std::move(done.ended));
        return;
    }
    // The image keeps the reply's pixels instead of copying them.
    const QImage image(
        xcb_get_image_data(reply), done.width, done.height, stride, done.layout.format,
        [](void* data) { std::free(data); }, reply);
    // A large, busy screen takes longer to encode than a frame lasts; the
    // panel keeps answering meanwhile, and the clipboard is set with both.
    QPointer<X11ScreenCaptureService> service(q);
    std::thread([service, image, ended = std::move(done.ended)]() mutable {
        const QByteArray png = encodePng(image);
        QMetaObject::invokeMethod(
            qApp,
            [service, image, png, ended = std::move(ended)]() mutable {
                if (!service)
                    return;
                service->d->clipboard.setImage(image, png);
                service->d->end(std::move(ended));
            },
            Qt::QueuedConnection);
    }).detach();
}

void X11ScreenCaptureService::Private::end(std::function<void()> ended)
{
    QMetaObject::invokeMethod(q, std::move(ended), Qt::QueuedConnection);
}

X11ScreenCaptureService::X11ScreenCaptureService(ClipboardService& clipboard, QObject* parent)
    : ScreenCaptureService(parent)
    , d(std::make_unique<Private>(this, clipboard))
{ }

X11ScreenCaptureService::~X11ScreenCaptureService() = default;

std::optional<QString> X11ScreenCaptureService::startCapture(std::function<void()> ended)
{
    if (auto failure = d->connect())
        return failure;
    xcb_connection_t* connection = d->connection;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < d->screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return QStringLiteral("the X server has no screen");
    const xcb_screen_t* screen = screens.data;
    const PixelLayout layout = pixelLayout(setup, screen);
    if (layout.format == QImage::Format_Invalid)
        return QStringLiteral("the screen's pixel format (depth %1) cannot be captured").arg(screen->root_depth);

    // The root grows and shrinks with the monitors; the setup block only
    // knows its size at connection time.
    xcb_get_geometry_reply_t* geometry
        = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, screen->root), nullptr);
    if (!geometry) {
        d->disconnect();
        return QStringLiteral("the X server does not answer");
    }
    const int width = geometry->width;
    const int height = geometry->height;
    std::free(geometry);
    if (width <= 0 || height <= 0)
        return QStringLiteral("the screen has no area");

    const xcb_get_image_cookie_t cookie
        = xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0, static_cast<std::uint16_t>(width),
                        static_cast<std::uint16_t>(height), ~0U);
    xcb_flush(connection);
    d->pending.push_back({cookie.sequence, width, height, layout, std::move(ended)});
    // The reply may already sit in xcb's buffer, where the socket notifier
    // would not see it.
    QMetaObject::invokeMethod(
        this, [this] { d->collect(); }, Qt::QueuedConnection);
    return std::nullopt;
}
