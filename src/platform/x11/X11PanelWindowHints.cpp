#include "X11PanelWindowHints.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPoint>
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
    NetSupported,
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
        "_NET_SUPPORTED",
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

std::vector<std::uint32_t> readList(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                    xcb_atom_t type)
{
    std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> reply(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->type != type || reply->format != 32)
        return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

bool contains(const std::vector<std::uint32_t>& list, std::uint32_t value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool isMapped(xcb_connection_t* connection, xcb_window_t window)
{
    std::unique_ptr<xcb_get_window_attributes_reply_t, FreeDeleter> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
    return attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
}

// WM_HINTS is nine 32-bit fields; the ninth is the window group, valid with
// this flag.
constexpr std::size_t wmHintsFields = 9;
constexpr std::size_t wmHintsGroupField = 8;
constexpr std::uint32_t windowGroupHint = 1U << 6;

// The panel leads a window group of its own. Qt puts every window of the
// program in one group and makes a tool window transient for that group;
// KWin hides such a window whenever another program's window is active and
// the group holds a window of ours it counts as the tool's main window (a
// second top-level of ours, even a short-lived one). Alone in its group the
// panel has no main window and stays on screen, as it does on the other
// window managers, which read the group for stacking only.
void leadOwnGroup(xcb_connection_t* connection, xcb_window_t window)
{
    std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, wmHintsFields),
        nullptr));
    std::array<std::uint32_t, wmHintsFields> hints {};
    if (reply && reply->type == XCB_ATOM_WM_HINTS && reply->format == 32) {
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        const auto count = std::min<std::size_t>(wmHintsFields, xcb_get_property_value_length(reply.get()) / 4);
        std::copy(values, values + count, hints.begin());
    }
    if ((hints[0] & windowGroupHint) && hints[wmHintsGroupField] == window)
        return;
    hints[0] |= windowGroupHint;
    hints[wmHintsGroupField] = window;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                        static_cast<std::uint32_t>(hints.size()), hints.data());
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

// Tells Qt where the window is when Qt's own record says otherwise. A window
// manager may reparent the window into a frame made at the screen's origin
// and move the frame into place only afterwards (openbox does): the window
// does not move inside its frame, so the server reports no move, and the
// manager sends no word of its own, the window having ended where it asked to
// be. Qt asks the server for the position when it handles the window's first
// notification; asked in between, it keeps the frame's first place for good,
// and everything placed from the panel's position goes astray: popups,
// dialogs, drops and the screen a point of the panel is on. The word a
// manager sends after a move, with the position the server has now.
void reportPosition(xcb_connection_t* connection, xcb_window_t root, xcb_window_t id, const QWindow& window)
{
    const auto geometryCookie = xcb_get_geometry(connection, id);
    const auto placeCookie = xcb_translate_coordinates(connection, id, root, 0, 0);
    std::unique_ptr<xcb_get_geometry_reply_t, FreeDeleter> geometry(
        xcb_get_geometry_reply(connection, geometryCookie, nullptr));
    std::unique_ptr<xcb_translate_coordinates_reply_t, FreeDeleter> place(
        xcb_translate_coordinates_reply(connection, placeCookie, nullptr));
    if (!geometry || !place)
        return;
    // Qt's record in the server's pixels.
    const qreal ratio = window.devicePixelRatio();
    const QPoint recorded = window.position() * ratio;
    if (recorded == QPoint(place->dst_x, place->dst_y))
        return;
    xcb_configure_notify_event_t event {};
    event.response_type = XCB_CONFIGURE_NOTIFY;
    event.event = id;
    event.window = id;
    event.above_sibling = XCB_NONE;
    event.x = place->dst_x;
    event.y = place->dst_y;
    event.width = geometry->width;
    event.height = geometry->height;
    event.border_width = geometry->border_width;
    xcb_send_event(connection, 0, id, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&event));
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
    leadOwnGroup(connection, id);

    if (!isMapped(connection, id)) {
        // Before the map the window manager reads them as the initial state.
        // Keep what is there already: Qt writes its own states (e.g. ABOVE).
        std::vector<xcb_atom_t> stateAtoms = readList(connection, id, netWmState, XCB_ATOM_ATOM);
        for (const xcb_atom_t state : states) {
            if (!contains(stateAtoms, state))
                stateAtoms.push_back(state);
        }
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netWmState, XCB_ATOM_ATOM, 32,
                            static_cast<std::uint32_t>(stateAtoms.size()), stateAtoms.data());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netWmDesktop, XCB_ATOM_CARDINAL, 32, 1,
                            &allDesktops);
        xcb_flush(connection);
        return;
    }

    // On screen the state belongs to the window manager, which changes it on
    // request only. Ask for nothing that is already in order: a request can
    // make the manager hide and show the window again, and a hide the program
    // asks for at that moment would be taken for the manager's own.
    const auto current = readList(connection, id, netWmState, XCB_ATOM_ATOM);
    const auto supported = readList(connection, screen->root, atoms[NetSupported], XCB_ATOM_ATOM);
    std::vector<xcb_atom_t> missing;
    for (const xcb_atom_t state : states) {
        if (!contains(current, state) && (supported.empty() || contains(supported, state)))
            missing.push_back(state);
    }
    for (std::size_t i = 0; i < missing.size(); i += 2) {
        const xcb_atom_t second = i + 1 < missing.size() ? missing[i + 1] : xcb_atom_t(XCB_ATOM_NONE);
        sendToWindowManager(connection, screen->root, id, netWmState,
                            {netWmStateAdd, missing[i], second, sourceApplication, 0});
    }
    if (!contains(readList(connection, id, netWmDesktop, XCB_ATOM_CARDINAL), allDesktops))
        sendToWindowManager(connection, screen->root, id, netWmDesktop, {allDesktops, sourceApplication, 0, 0, 0});
    reportPosition(connection, screen->root, id, *window);
    xcb_flush(connection);
}
