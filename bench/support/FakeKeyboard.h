#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Key presses that the X server of $DISPLAY takes as coming from the
// keyboard (XTEST), so grabs and focus apply as they would to a person's.
class FakeKeyboard
{
public:
    FakeKeyboard();
    ~FakeKeyboard();
    FakeKeyboard(const FakeKeyboard&) = delete;
    FakeKeyboard& operator=(const FakeKeyboard&) = delete;

    // False without a display, without XTEST, or when a keysym has no key.
    bool isUsable() const;
    // Resolves keysyms to the server's keycodes once, for chord().
    bool setChord(const std::vector<std::uint32_t>& keysyms);
    // Presses the chord's keys in order, releases them in reverse and flushes.
    void sendChord();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
