#include "FakeKeyboard.h"

#include <cstdlib>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

struct FakeKeyboard::Private
{
    xcb_connection_t* connection = nullptr;
    xcb_key_symbols_t* symbols = nullptr;
    xcb_window_t root = 0;
    bool hasXtest = false;
    std::vector<xcb_keycode_t> chord;
};

FakeKeyboard::FakeKeyboard()
    : d(std::make_unique<Private>())
{
    d->connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(d->connection))
        return;
    d->root = xcb_setup_roots_iterator(xcb_get_setup(d->connection)).data->root;
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(d->connection, &xcb_test_id);
    d->hasXtest = xtest && xtest->present;
    d->symbols = xcb_key_symbols_alloc(d->connection);
}

FakeKeyboard::~FakeKeyboard()
{
    if (d->symbols)
        xcb_key_symbols_free(d->symbols);
    if (d->connection)
        xcb_disconnect(d->connection);
}

bool FakeKeyboard::isUsable() const
{
    return d->connection && !xcb_connection_has_error(d->connection) && d->hasXtest && d->symbols;
}

bool FakeKeyboard::setChord(const std::vector<std::uint32_t>& keysyms)
{
    d->chord.clear();
    if (!isUsable())
        return false;
    for (const std::uint32_t keysym : keysyms) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(d->symbols, keysym);
        if (!codes || *codes == XCB_NO_SYMBOL) {
            std::free(codes);
            return false;
        }
        d->chord.push_back(codes[0]);
        std::free(codes);
    }
    return true;
}

void FakeKeyboard::sendChord()
{
    for (const xcb_keycode_t code : d->chord)
        xcb_test_fake_input(d->connection, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, d->root, 0, 0, 0);
    for (auto code = d->chord.rbegin(); code != d->chord.rend(); ++code)
        xcb_test_fake_input(d->connection, XCB_KEY_RELEASE, *code, XCB_CURRENT_TIME, d->root, 0, 0, 0);
    xcb_flush(d->connection);
}
