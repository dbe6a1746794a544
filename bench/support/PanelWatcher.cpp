#include "PanelWatcher.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <xcb/xcb.h>

#include <poll.h>

namespace {
struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
template<typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

constexpr const char* panelInstance = "quillnook";
constexpr const char* panelTitle = "Quillnook";
} // namespace

struct PanelWatcher::Private
{
    // What the loop was waiting for when an event arrived.
    struct Event
    {
        std::uint8_t type = 0;
        std::uint32_t window = 0;
        Clock::time_point at;
    };

    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t clientList = 0;
    xcb_atom_t netWmName = 0;
    // Top-level windows seen so far, with StructureNotify selected on each.
    std::vector<xcb_window_t> watched;

    xcb_atom_t atom(const char* name)
    {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t {XCB_ATOM_NONE};
    }

    std::string property(xcb_window_t window, xcb_atom_t name)
    {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
        if (!reply || reply->format != 8)
            return {};
        return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }

    void watch(xcb_window_t window)
    {
        if (std::find(watched.begin(), watched.end(), window) != watched.end())
            return;
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
        watched.push_back(window);
    }

    // openbox lists managed clients; catches a panel whose creation came
    // before this connection.
    void watchClientList()
    {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, root, clientList, XCB_ATOM_WINDOW, 0, 4096), nullptr));
        if (!reply || reply->format != 32)
            return;
        const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        for (int i = 0; i < count; ++i)
            watch(windows[i]);
    }

    bool isPanel(xcb_window_t window)
    {
        const std::string wmClass = property(window, XCB_ATOM_WM_CLASS);
        if (std::strcmp(wmClass.c_str(), panelInstance) != 0)
            return false;
        std::string title = property(window, netWmName);
        if (title.empty())
            title = property(window, XCB_ATOM_WM_NAME);
        return title == panelTitle;
    }

    bool isViewable(xcb_window_t window)
    {
        Reply<xcb_get_window_attributes_reply_t> reply(
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
        return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    std::optional<Event> translate(xcb_generic_event_t* event, Clock::time_point at)
    {
        switch (event->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_create_notify_event_t*>(event);
            if (e->parent == root)
                watch(e->window);
            return Event {XCB_CREATE_NOTIFY, e->window, at};
        }
        case XCB_MAP_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
            return Event {XCB_MAP_NOTIFY, e->window, at};
        }
        case XCB_UNMAP_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
            return Event {XCB_UNMAP_NOTIFY, e->window, at};
        }
        case XCB_DESTROY_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
            std::erase(watched, e->window);
            return Event {XCB_DESTROY_NOTIFY, e->window, at};
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (e->window == root && e->atom == clientList)
                watchClientList();
            return Event {XCB_PROPERTY_NOTIFY, e->window, at};
        }
        default:
            return std::nullopt;
        }
    }

    // The next event of interest, stamped when it was read off the socket.
    std::optional<Event> next(Clock::time_point deadline)
    {
        for (;;) {
            if (xcb_connection_has_error(connection))
                return std::nullopt;
            if (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
                const auto at = Clock::now();
                auto translated = translate(event, at);
                std::free(event);
                if (translated)
                    return translated;
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd fd {xcb_get_file_descriptor(connection), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(std::min<long long>(left.count() + 1, 1000)));
        }
    }
};

PanelWatcher::PanelWatcher()
    : d(std::make_unique<Private>())
{
    d->connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(d->connection))
        return;
    d->root = xcb_setup_roots_iterator(xcb_get_setup(d->connection)).data->root;
    d->clientList = d->atom("_NET_CLIENT_LIST");
    d->netWmName = d->atom("_NET_WM_NAME");
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(d->connection, d->root, XCB_CW_EVENT_MASK, &mask);
    d->watchClientList();
    xcb_flush(d->connection);
}

PanelWatcher::~PanelWatcher()
{
    if (d->connection)
        xcb_disconnect(d->connection);
}

bool PanelWatcher::isConnected() const
{
    return d->connection && !xcb_connection_has_error(d->connection);
}

bool PanelWatcher::isViewable(std::uint32_t window)
{
    return d->isViewable(window);
}

void PanelWatcher::drain()
{
    // A round trip makes the server send everything queued before it.
    Reply<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(d->connection, xcb_get_input_focus(d->connection), nullptr));
    while (d->next(Clock::now()))
        ;
}

std::optional<PanelWatcher::Sighting> PanelWatcher::waitForViewablePanel(Clock::time_point deadline)
{
    auto find = [this]() -> xcb_window_t {
        for (const xcb_window_t window : std::vector(d->watched))
            if (d->isViewable(window) && d->isPanel(window))
                return window;
        return 0;
    };
    if (const xcb_window_t window = find())
        return Sighting {window, Clock::now()};
    while (const auto event = d->next(deadline)) {
        // Viewable needs the frame mapped as well as the client, in whichever
        // order the window manager maps them.
        if (event->type != XCB_MAP_NOTIFY && event->type != XCB_CREATE_NOTIFY && event->type != XCB_PROPERTY_NOTIFY)
            continue;
        xcb_flush(d->connection);
        if (const xcb_window_t window = find())
            return Sighting {window, event->at};
    }
    return std::nullopt;
}

std::optional<PanelWatcher::Clock::time_point> PanelWatcher::waitForMapChange(std::uint32_t window, bool mapped,
                                                                              Clock::time_point deadline)
{
    d->watch(window);
    xcb_flush(d->connection);
    const std::uint8_t wanted = mapped ? XCB_MAP_NOTIFY : XCB_UNMAP_NOTIFY;
    while (const auto event = d->next(deadline)) {
        if (event->window != window)
            continue;
        if (event->type == wanted)
            return event->at;
        if (event->type == XCB_DESTROY_NOTIFY)
            return std::nullopt;
    }
    return std::nullopt;
}
