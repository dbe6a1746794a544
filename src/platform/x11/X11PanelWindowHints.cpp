#include "X11PanelWindowHints.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWindow>

namespace {
constexpr std::uint32_t allDesktops = 0xFFFFFFFF;
constexpr std::uint32_t netWmStateAdd = 1;
// Source indication: a normal application, not a pager.
constexpr std::uint32_t sourceApplication = 1;

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};

enum Atom
{
    NetWmState,
    NetWmDesktop,
    Sticky,
    SkipTaskbar,
    SkipPager,
    Above,
    AtomCount
};

std::array<xcb_atom_t, AtomCount> internAtoms(xcb_connection_t* connection)
{
    static constexpr std::array<const char*, AtomCount> names {
        "_NET_WM_STATE",
        "_NET_WM_DESKTOP",
        "_NET_WM_STATE_STICKY",
        "_NET_WM_STATE_SKIP_TASKBAR",
        "_NET_WM_STATE_SKIP_PAGER",
        "_NET_WM_STATE_ABOVE",
    };
    // All requests first, then the replies: one round trip instead of six.
    std::array<xcb_intern_atom_cookie_t, AtomCount> cookies {};
    for (std::size_t i = 0; i < names.size(); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    std::array<xcb_atom_t, AtomCount> atoms {};
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> reply(
            xcb_intern_atom_reply(connection, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    return atoms;
}

bool isMapped(xcb_connection_t* connection, xcb_window_t window)
{
    std::unique_ptr<xcb_get_window_attributes_reply_t, FreeDeleter> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
    return attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
}

void sendToWindowManager(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                         const std::array<std::uint32_t, 5>& data)
{
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy(data.begin(), data.end(), event.data.data32);
    // xcb_send_event always reads 32 bytes, the size of the event.
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}
} // namespace

void X11PanelWindowHints::apply(QWindow* window)
{
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!id || !screen)
        return;

    const auto atoms = internAtoms(connection);
    const xcb_atom_t netWmState = atoms[NetWmState];
    const xcb_atom_t netWmDesktop = atoms[NetWmDesktop];
    const std::array<xcb_atom_t, 4> states {atoms[Sticky], atoms[SkipTaskbar], atoms[SkipPager], atoms[Above]};

    if (!isMapped(connection, id)) {
        // Before the map the window manager reads them as the initial state.
        // Keep what is there already: Qt writes its own states (e.g. ABOVE).
        std::vector<xcb_atom_t> stateAtoms;
        std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> current(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, id, netWmState, XCB_ATOM_ATOM, 0, 1024), nullptr));
        if (current && current->type == XCB_ATOM_ATOM && current->format == 32) {
            const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(current.get()));
            stateAtoms.assign(values, values + xcb_get_property_value_length(current.get()) / 4);
        }
        for (const xcb_atom_t state : states) {
            if (std::find(stateAtoms.begin(), stateAtoms.end(), state) == stateAtoms.end())
                stateAtoms.push_back(state);
        }
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netWmState, XCB_ATOM_ATOM, 32,
                            static_cast<std::uint32_t>(stateAtoms.size()), stateAtoms.data());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netWmDesktop, XCB_ATOM_CARDINAL, 32, 1,
                            &allDesktops);
    }

    // A managed window's state belongs to the window manager, which changes it
    // on request only. The requests go out while unmapped too: between the map
    // request and the map the window is already managed (the properties were
    // read by then), and a manager that does not know the window ignores them.
    sendToWindowManager(connection, screen->root, id, netWmState,
                        {netWmStateAdd, states[0], states[1], sourceApplication, 0});
    sendToWindowManager(connection, screen->root, id, netWmState,
                        {netWmStateAdd, states[2], states[3], sourceApplication, 0});
    sendToWindowManager(connection, screen->root, id, netWmDesktop, {allDesktops, sourceApplication, 0, 0, 0});
    xcb_flush(connection);
}
