#include "X11ScreenCaptureService.h"

#include <cstdlib>
#include <cstring>
#include <thread>

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <QSysInfo>

#include "platform/ClipboardService.h"
#include "platform/ScreenshotPng.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// How much less CPU the capture and its encoding get than the panel.
constexpr int BackgroundNice = 5;

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
} // namespace

// One capture, start to end, on a thread of its own with a connection of
// its own: a 4K screen is 33 MB from the server and a good part of a second
// of PNG encoding, and the panel keeps answering meanwhile.
struct CaptureJob
{
    xcb_window_t root;
    int width;
    int height;
    PixelLayout layout;

    // Rows asked for at a time: the server handles one request at a time, so
    // one request for the whole screen would keep it from answering the
    // panel (and every other program) until all 33 MB were copied out.
    static constexpr int BandBytes = 2 * 1024 * 1024;

    QImage run() const
    {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        QImage image;
        if (!xcb_connection_has_error(connection))
            image = read(connection);
        xcb_disconnect(connection);
        return image;
    }

    QImage read(xcb_connection_t* connection) const
    {
        const int stride
            = ((width * layout.bitsPerPixel + layout.scanlinePad - 1) / layout.scanlinePad) * layout.scanlinePad / 8;
        QImage image(width, height, layout.format);
        if (image.isNull() || stride <= 0)
            return {};
        const qsizetype rowBytes = std::min<qsizetype>(stride, image.bytesPerLine());
        const int rowsPerBand = std::max(1, BandBytes / stride);
        for (int top = 0; top < height; top += rowsPerBand) {
            const int rows = std::min(rowsPerBand, height - top);
            xcb_get_image_reply_t* reply = xcb_get_image_reply(
                connection,
                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, 0, static_cast<std::int16_t>(top),
                              static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(rows), ~0U),
                nullptr);
            const bool whole = reply && static_cast<long long>(stride) * rows <= xcb_get_image_data_length(reply);
            if (whole) {
                const std::uint8_t* pixels = xcb_get_image_data(reply);
                for (int row = 0; row < rows; ++row)
                    std::memcpy(image.scanLine(top + row), pixels + qsizetype(row) * stride, size_t(rowBytes));
            }
            std::free(reply);
            if (!whole)
                return {};
        }
        return image;
    }
};

class X11ScreenCaptureService::Private
{
public:
    explicit Private(ClipboardService& clipboard)
        : clipboard(clipboard)
    { }
    ~Private() { disconnect(); }

    std::optional<QString> connect();
    void disconnect();

    ClipboardService& clipboard;
    xcb_connection_t* connection = nullptr;
    int screenNumber = 0;
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
    return std::nullopt;
}

void X11ScreenCaptureService::Private::disconnect()
{
    if (connection)
        xcb_disconnect(connection);
    connection = nullptr;
}

X11ScreenCaptureService::X11ScreenCaptureService(ClipboardService& clipboard, QObject* parent)
    : ScreenCaptureService(parent)
    , d(std::make_unique<Private>(clipboard))
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

    const CaptureJob job {screen->root, width, height, layout};
    QPointer<X11ScreenCaptureService> service(this);
    std::thread([job, service, ended = std::move(ended)]() mutable {
        // Below the panel's own thread: on a machine with few cores the
        // encoders (which inherit this) would otherwise keep it waiting.
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), BackgroundNice);
        const QImage image = job.run();
        const QByteArray png = image.isNull() ? QByteArray() : ScreenshotPng::encode(image);
        QMetaObject::invokeMethod(
            qApp,
            [service, image, png, ended = std::move(ended)]() mutable {
                if (!service)
                    return;
                // Set with its PNG, so no reader has to wait for one.
                if (!image.isNull())
                    service->d->clipboard.setImage(image, png);
                ended();
            },
            Qt::QueuedConnection);
    }).detach();
    return std::nullopt;
}
