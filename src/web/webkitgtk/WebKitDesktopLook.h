#pragma once

typedef struct _WebKitWebContext WebKitWebContext;

// What pages take from the user's desktop: the light or dark preference
// their prefers-color-scheme reports, and the languages their text fields
// are spell-checked in.
namespace WebKitDesktopLook {

// Pages follow the desktop portal's color-scheme setting, now and whenever
// it changes; without a portal, the GTK theme decides as it always does.
// Once per process; later calls do nothing.
void followColorScheme();

// Spell checking in the languages of the user's locale, for which the
// system has dictionaries (hunspell-*).
void enableSpellChecking(WebKitWebContext* context);

} // namespace WebKitDesktopLook
