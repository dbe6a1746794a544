#include "X11HotkeyService.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>

#include "keys/KeyPositions.h"

namespace {
constexpr xcb_keysym_t numLockKeysym = 0xff7f;
constexpr xcb_keysym_t scrollLockKeysym = 0xff14;
// The eight core modifier bits; the rest of an event's state are pointer buttons.
constexpr std::uint16_t coreModifierBits = 0xFF;

std::uint16_t xModifiers(std::uint32_t modifiers)
{
    std::uint16_t mask = 0;
    if (modifiers & ModifierFlags::Ctrl)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & ModifierFlags::Shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & ModifierFlags::Alt)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & ModifierFlags::Super)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

template<typename T> struct FreeDeleter
{
    void operator()(T* p) const { std::free(p); }
};
template<typename T> using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;
} // namespace

class X11HotkeyService::Private : public QAbstractNativeEventFilter
{
public:
    struct Grab
    {
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
        std::uint32_t id;
    };

    Private(xcb_connection_t* connection, xcb_window_t root)
        : connection(connection)
        , root(root)
    {
        readLockModifiers();
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    void readLockModifiers();
    std::vector<std::uint16_t> lockCombinations() const;
    std::uint16_t lockBits() const { return XCB_MOD_MASK_LOCK | numLockMask | scrollLockMask; }
    bool grabEverywhere(xcb_keycode_t keycode, std::uint16_t modifiers);
    void ungrab(xcb_keycode_t keycode, std::uint16_t modifiers, const std::vector<std::uint16_t>& lockCombinations);
    bool isGrabbed(xcb_keycode_t keycode, std::uint16_t modifiers) const;
    // Each combination we hold once, however many registrations share it.
    std::vector<std::pair<xcb_keycode_t, std::uint16_t>> grabbedCombinations() const;
    void keyPressed(const xcb_key_press_event_t* event);
    void keyReleased(const xcb_key_release_event_t* event);
    void keyboardMappingChanged();

    X11HotkeyService* q = nullptr;
    xcb_connection_t* connection;
    xcb_window_t root;
    std::uint16_t numLockMask = 0;
    std::uint16_t scrollLockMask = 0;
    std::map<Registration, Grab> grabs;
    Registration nextRegistration = 1;
    // A held key repeats its press; only the first one of a hold counts.
    std::array<bool, 256> held {};
    // Without detectable auto-repeat the server fakes a release before each
    // repeated press, with the same timestamp.
    std::array<xcb_timestamp_t, 256> releasedAt {};
};

void X11HotkeyService::Private::readLockModifiers()
{
    numLockMask = 0;
    scrollLockMask = 0;
    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!mapping)
        return;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    if (!symbols)
        return;

    const xcb_keycode_t* modifierKeys = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    auto maskOf = [&](xcb_keysym_t keysym) -> std::uint16_t {
        XcbReply<xcb_keycode_t> keycodes(xcb_key_symbols_get_keycode(symbols, keysym));
        if (!keycodes)
            return 0;
        // Shift, Lock and Control keep their meaning; a lock key only ever
        // lands on Mod1..Mod5.
        for (int modifier = 3; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t key = modifierKeys[modifier * perModifier + i];
                if (key == XCB_NO_SYMBOL)
                    continue;
                for (const xcb_keycode_t* k = keycodes.get(); *k != XCB_NO_SYMBOL; ++k) {
                    if (*k == key)
                        return static_cast<std::uint16_t>(1U << modifier);
                }
            }
        }
        return 0;
    };
    numLockMask = maskOf(numLockKeysym);
    scrollLockMask = maskOf(scrollLockKeysym);
    xcb_key_symbols_free(symbols);
}

std::vector<std::uint16_t> X11HotkeyService::Private::lockCombinations() const
{
    std::vector<std::uint16_t> locks {XCB_MOD_MASK_LOCK};
    for (const std::uint16_t mask : {numLockMask, scrollLockMask}) {
        if (mask && std::find(locks.begin(), locks.end(), mask) == locks.end())
            locks.push_back(mask);
    }
    std::vector<std::uint16_t> combinations;
    for (unsigned subset = 0; subset < (1U << locks.size()); ++subset) {
        std::uint16_t combination = 0;
        for (std::size_t i = 0; i < locks.size(); ++i) {
            if (subset & (1U << i))
                combination |= locks[i];
        }
        combinations.push_back(combination);
    }
    return combinations;
}

bool X11HotkeyService::Private::grabEverywhere(xcb_keycode_t keycode, std::uint16_t modifiers)
{
    const auto combinations = lockCombinations();
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(combinations.size());
    // owner_events off: while the grab lasts (until the key is released)
    // everything is reported on the root window, so a held, repeating key
    // never reaches the panel's widgets as typing.
    for (const std::uint16_t locks : combinations) {
        cookies.push_back(xcb_grab_key_checked(connection, 0, root, modifiers | locks, keycode, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC));
    }
    std::vector<std::uint16_t> taken;
    bool refused = false;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        if (XcbReply<xcb_generic_error_t> error(xcb_request_check(connection, cookies[i])); error)
            refused = true;
        else
            taken.push_back(combinations[i]);
    }
    if (!refused)
        return true;
    for (const std::uint16_t locks : taken)
        xcb_ungrab_key(connection, keycode, root, modifiers | locks);
    xcb_flush(connection);
    return false;
}

void X11HotkeyService::Private::ungrab(xcb_keycode_t keycode, std::uint16_t modifiers,
                                       const std::vector<std::uint16_t>& lockCombinations)
{
    for (const std::uint16_t locks : lockCombinations)
        xcb_ungrab_key(connection, keycode, root, modifiers | locks);
    // A round trip: once it returns the server has let the key go, so a
    // program we hand the combination to next (a desktop's shortcut service)
    // cannot have its grab refused because ours was still queued.
    XcbReply<xcb_get_input_focus_reply_t> synced(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

bool X11HotkeyService::Private::isGrabbed(xcb_keycode_t keycode, std::uint16_t modifiers) const
{
    for (const auto& [registration, grab] : grabs) {
        if (grab.keycode == keycode && grab.modifiers == modifiers)
            return true;
    }
    return false;
}

std::vector<std::pair<xcb_keycode_t, std::uint16_t>> X11HotkeyService::Private::grabbedCombinations() const
{
    std::vector<std::pair<xcb_keycode_t, std::uint16_t>> combinations;
    for (const auto& [registration, grab] : grabs) {
        const std::pair combination {grab.keycode, grab.modifiers};
        if (std::find(combinations.begin(), combinations.end(), combination) == combinations.end())
            combinations.push_back(combination);
    }
    return combinations;
}

bool X11HotkeyService::Private::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // Keys another client sent with SendEvent were never pressed.
    const bool sent = event->response_type & 0x80;
    switch (event->response_type & ~0x80) {
    case XCB_KEY_PRESS:
        if (!sent)
            keyPressed(reinterpret_cast<const xcb_key_press_event_t*>(event));
        break;
    case XCB_KEY_RELEASE:
        if (!sent)
            keyReleased(reinterpret_cast<const xcb_key_release_event_t*>(event));
        break;
    case XCB_MAPPING_NOTIFY:
        if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER)
            keyboardMappingChanged();
        break;
    default:
        break;
    }
    // Qt still handles every event: a key press updates its user time, which
    // the window manager checks before it lets the panel take the focus.
    return false;
}

void X11HotkeyService::Private::keyPressed(const xcb_key_press_event_t* event)
{
    if (event->event != root)
        return;
    const std::uint16_t modifiers = event->state & coreModifierBits & ~lockBits();
    std::vector<std::uint32_t> ids;
    for (const auto& [registration, grab] : grabs) {
        if (grab.keycode == event->detail && grab.modifiers == modifiers)
            ids.push_back(grab.id);
    }
    if (ids.empty())
        return;
    const bool repeat = held[event->detail] || (releasedAt[event->detail] == event->time && event->time != 0);
    held[event->detail] = true;
    if (repeat)
        return;
    for (const std::uint32_t id : ids)
        emit q->hotkeyPressed(id);
}

void X11HotkeyService::Private::keyReleased(const xcb_key_release_event_t* event)
{
    held[event->detail] = false;
    releasedAt[event->detail] = event->time;
}

void X11HotkeyService::Private::keyboardMappingChanged()
{
    const auto before = lockCombinations();
    readLockModifiers();
    if (lockCombinations() == before)
        return;
    // A combination now refused stops firing, as a refused registration would.
    for (const auto& [keycode, modifiers] : grabbedCombinations()) {
        ungrab(keycode, modifiers, before);
        grabEverywhere(keycode, modifiers);
    }
}

std::unique_ptr<X11HotkeyService> X11HotkeyService::create(bool underXWayland)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return nullptr;
    xcb_connection_t* connection = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return nullptr;
    auto service
        = std::unique_ptr<X11HotkeyService>(new X11HotkeyService(std::make_unique<Private>(connection, screen->root)));
    QCoreApplication::instance()->installNativeEventFilter(service->d.get());
    service->m_underXWayland = underXWayland;
    return service;
}

X11HotkeyService::X11HotkeyService(std::unique_ptr<Private> d)
    : d(std::move(d))
{
    this->d->q = this;
}

X11HotkeyService::~X11HotkeyService()
{
    // Once the application is gone its connection is closed, and the server
    // has dropped our grabs with it.
    if (!qGuiApp)
        return;
    QCoreApplication::instance()->removeNativeEventFilter(d.get());
    const auto locks = d->lockCombinations();
    for (const auto& [keycode, modifiers] : d->grabbedCombinations())
        d->ungrab(keycode, modifiers, locks);
}

std::optional<HotkeyService::Registration> X11HotkeyService::registerHotkey(std::uint16_t keyCode,
                                                                            std::uint32_t modifiers, std::uint32_t id)
{
    const auto keycode = KeyPositions::x11KeycodeFromKeyCode(keyCode);
    if (!keycode)
        return std::nullopt;
    const Private::Grab grab {static_cast<xcb_keycode_t>(*keycode), xModifiers(modifiers), id};
    // A combination we already hold needs no second grab.
    if (!d->isGrabbed(grab.keycode, grab.modifiers) && !d->grabEverywhere(grab.keycode, grab.modifiers))
        return std::nullopt;
    const Registration registration = d->nextRegistration++;
    d->grabs.emplace(registration, grab);
    return registration;
}

void X11HotkeyService::unregisterHotkey(Registration registration)
{
    const auto it = d->grabs.find(registration);
    if (it == d->grabs.end())
        return;
    const Private::Grab grab = it->second;
    d->grabs.erase(it);
    if (!d->isGrabbed(grab.keycode, grab.modifiers)) {
        d->ungrab(grab.keycode, grab.modifiers, d->lockCombinations());
        d->held[grab.keycode] = false;
    }
}
