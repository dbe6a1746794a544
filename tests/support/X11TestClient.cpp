#include "X11TestClient.h"

#include <bit>
#include <cstddef>
#include <cstdlib>
#include <utility>
#include <vector>

#include <xcb/xcb.h>

#include <QProcess>

namespace {
struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
template<typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}
} // namespace

struct X11TestClient::Connection
{
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;

    xcb_atom_t atom(const QString& name) const
    {
        const QByteArray latin = name.toLatin1();
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            xcb, xcb_intern_atom(xcb, 0, static_cast<std::uint16_t>(latin.size()), latin.constData()), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
};

X11TestClient::X11TestClient()
    : m_connection(std::make_unique<Connection>())
{
    m_connection->xcb = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection->xcb))
        return;
    if (const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection->xcb)).data)
        m_connection->root = screen->root;
}

X11TestClient::~X11TestClient()
{
    xcb_disconnect(m_connection->xcb);
}

bool X11TestClient::isConnected() const
{
    return !xcb_connection_has_error(m_connection->xcb) && m_connection->root != XCB_WINDOW_NONE;
}

bool X11TestClient::grabKey(std::uint8_t keycode, std::uint16_t modifiers)
{
    const auto cookie = xcb_grab_key_checked(m_connection->xcb, 1, m_connection->root, modifiers, keycode,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    Reply<xcb_generic_error_t> error(xcb_request_check(m_connection->xcb, cookie));
    return !error;
}

void X11TestClient::ungrabKey(std::uint8_t keycode, std::uint16_t modifiers)
{
    xcb_ungrab_key(m_connection->xcb, keycode, m_connection->root, modifiers);
    sync();
}

void X11TestClient::sync()
{
    // A round trip: the server has carried out every request before it.
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

QStringList X11TestClient::atomNames(std::uint32_t window, const QString& property)
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, m_connection->atom(property), XCB_ATOM_ATOM, 0, 1024), nullptr));
    QStringList names;
    if (!reply || reply->type != XCB_ATOM_ATOM || reply->format != 32)
        return names;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i) {
        Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atoms[i]), nullptr));
        if (name) {
            names.append(
                QString::fromLatin1(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get())));
        }
    }
    return names;
}

std::optional<std::uint32_t> X11TestClient::cardinal(std::uint32_t window, const QString& property)
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, m_connection->atom(property), XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32
        || xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

std::uint32_t X11TestClient::mapWindowInGroupOf(std::uint32_t window)
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, window, m_connection->atom(QStringLiteral("WM_CLIENT_LEADER")), XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    const xcb_window_t leader = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t mate = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, mate, m_connection->root, 40, 40, 200, 120, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    // Input hint on, and the group (WindowGroupHint) set to the leader.
    const std::uint32_t hints[9] {1U | (1U << 6), 1, 0, 0, 0, 0, 0, 0, leader};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, mate, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    xcb_map_window(c, mate);
    sync();
    return mate;
}

std::optional<std::uint32_t> X11TestClient::windowGroup(std::uint32_t window)
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, 9), nullptr));
    if (!reply || reply->type != XCB_ATOM_WM_HINTS || reply->format != 32
        || xcb_get_property_value_length(reply.get()) < 9 * 4)
        return std::nullopt;
    const auto* hints = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    // The flag for the group field (WindowGroupHint).
    if (!(hints[0] & (1U << 6)))
        return std::nullopt;
    return hints[8];
}

bool X11TestClient::isMapped(std::uint32_t window)
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool X11TestClient::hasProperty(std::uint32_t window, const QString& property)
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, m_connection->atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

std::uint32_t X11TestClient::focusWindow()
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return reply ? reply->focus : xcb_window_t(XCB_WINDOW_NONE);
}

std::uint32_t X11TestClient::rootWindow() const
{
    return m_connection->root;
}

bool X11TestClient::moveModifierKeys(std::uint16_t fromBit, std::uint16_t toBit)
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!mapping)
        return false;
    const int perModifier = mapping->keycodes_per_modifier;
    const xcb_keycode_t* current = xcb_get_modifier_mapping_keycodes(mapping.get());
    std::vector<xcb_keycode_t> keys(current, current + std::ptrdiff_t {8} * perModifier);
    const int from = std::countr_zero(fromBit);
    const int to = std::countr_zero(toBit);
    for (int i = 0; i < perModifier; ++i) {
        if (keys[to * perModifier + i] != 0)
            return false;
    }
    for (int i = 0; i < perModifier; ++i)
        std::swap(keys[from * perModifier + i], keys[to * perModifier + i]);
    Reply<xcb_set_modifier_mapping_reply_t> reply(xcb_set_modifier_mapping_reply(
        c, xcb_set_modifier_mapping(c, static_cast<std::uint8_t>(perModifier), keys.data()), nullptr));
    return reply && reply->status == XCB_MAPPING_STATUS_SUCCESS;
}

std::uint16_t X11TestClient::modifierState()
{
    xcb_connection_t* c = m_connection->xcb;
    Reply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, m_connection->root), nullptr));
    return reply ? reply->mask & 0xFF : 0;
}

bool X11TestKeys::press(const QString& keys)
{
    return xdotool({QStringLiteral("key"), keys});
}

bool X11TestKeys::keyDown(const QString& keys)
{
    return xdotool({QStringLiteral("keydown"), keys});
}

bool X11TestKeys::keyUp(const QString& keys)
{
    return xdotool({QStringLiteral("keyup"), keys});
}

X11TestKeys::ScopedLock::ScopedLock(X11TestClient& client, QString keyName)
    : m_keyName(std::move(keyName))
{
    const std::uint16_t before = client.modifierState();
    press(m_keyName);
    m_toggled = true;
    const std::uint16_t after = client.modifierState();
    if (after & ~before) {
        m_bit = after & ~before;
        return;
    }
    // It was lit already: this press put it out, so light it again and
    // leave it as it was found.
    if (before & ~after) {
        press(m_keyName);
        m_toggled = false;
        m_bit = before & ~after;
    }
}

X11TestKeys::ScopedLock::~ScopedLock()
{
    if (m_toggled)
        press(m_keyName);
}

bool X11TestClient::takeClipboard()
{
    xcb_connection_t* c = m_connection->xcb;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, m_connection->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t clipboard = m_connection->atom(QStringLiteral("CLIPBOARD"));
    xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
    return owner && owner->owner == window;
}
