#include "X11ClipboardService.h"

#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>

namespace {
// How long a claim of the clipboard may be retried, and the longest wait
// between two tries.
constexpr int claimPatienceMs = 1000;
constexpr int claimRetryMs = 10;

// One request that needs a reply: once it is in, the server has sent us
// every event it made before handling it.
void roundTrip(xcb_connection_t* connection)
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}
} // namespace

class X11ClipboardService::Private
{
public:
    ~Private()
    {
        notifier.reset();
        if (connection)
            xcb_disconnect(connection);
    }

    void drainEvents();

    xcb_connection_t* connection = nullptr;
    std::uint8_t selectionNotify = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    std::uint64_t changeCount = 0;
};

void X11ClipboardService::Private::drainEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        if ((event->response_type & 0x7F) == selectionNotify)
            ++changeCount;
        std::free(event);
    }
    // A dead connection stays readable; the count keeps its last value.
    if (xcb_connection_has_error(connection) && notifier)
        notifier->setEnabled(false);
}

std::unique_ptr<X11ClipboardService> X11ClipboardService::create()
{
    auto d = std::make_unique<Private>();
    int screenNumber = 0;
    d->connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(d->connection))
        return nullptr;
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(d->connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present)
        return nullptr;
    xcb_xfixes_query_version_reply_t* version = xcb_xfixes_query_version_reply(
        d->connection, xcb_xfixes_query_version(d->connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr);
    const bool selectionEvents = version && version->major_version >= 1;
    std::free(version);
    if (!selectionEvents)
        return nullptr;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(d->connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    const xcb_atom_t clipboard = internAtom(d->connection, "CLIPBOARD");
    if (!screens.rem || clipboard == XCB_ATOM_NONE)
        return nullptr;
    // A new owner is a new content; an owner that goes away takes its
    // content with it.
    xcb_xfixes_select_selection_input(d->connection, screens.data->root, clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                                          | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                                          | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    d->selectionNotify = static_cast<std::uint8_t>(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    roundTrip(d->connection);
    if (xcb_connection_has_error(d->connection))
        return nullptr;
    // What happened before we started watching is no change.
    d->drainEvents();
    d->changeCount = 0;

    auto service = std::unique_ptr<X11ClipboardService>(new X11ClipboardService(std::move(d)));
    Private* p = service->d.get();
    p->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(p->connection), QSocketNotifier::Read);
    connect(p->notifier.get(), &QSocketNotifier::activated, service.get(), [p] { p->drainEvents(); });
    return service;
}

X11ClipboardService::X11ClipboardService(std::unique_ptr<Private> d)
    : d(std::move(d))
{ }

X11ClipboardService::~X11ClipboardService() = default;

std::uint64_t X11ClipboardService::changeCount()
{
    if (!xcb_connection_has_error(d->connection))
        roundTrip(d->connection);
    d->drainEvents();
    return d->changeCount;
}

QImage X11ClipboardService::image()
{
    return QGuiApplication::clipboard()->image();
}

void X11ClipboardService::setImage(const QImage& image)
{
    setImage(image, QByteArray());
}

void X11ClipboardService::setImage(const QImage& image, const QByteArray& png)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const std::uint64_t before = changeCount();
    QDeadlineTimer deadline(claimPatienceMs);
    for (;;) {
        auto* data = new QMimeData;
        data->setImageData(image);
        if (!png.isEmpty())
            data->setData(QStringLiteral("image/png"), png);
        QGuiApplication::clipboard()->setMimeData(data);
        // Qt may still hold the new ownership in its own output buffer; once
        // the server has handled it, the next read of the count sees the
        // change.
        if (x11 && x11->connection())
            roundTrip(x11->connection());
        if (changeCount() != before || !x11 || deadline.hasExpired())
            return;
        // Qt claims the clipboard with the time of the last X event it
        // handled. When another program took the clipboard after that, the
        // server ignores the claim; the other program's ownership notice,
        // which carries the newer time, is then waiting in Qt's queue. Let Qt
        // take it in and claim again.
        QTimer::singleShot(claimRetryMs, qApp, [] {});
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
}
