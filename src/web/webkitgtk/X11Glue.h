#pragma once

#include <cstdint>

// The few X calls the embedded page needs. Xlib and GDK's X11 header stay in
// X11Glue.cpp: their macros (None, Bool, FocusIn) clash with Qt's headers.
typedef struct _GtkWidget GtkWidget;

namespace X11Glue {
// The X window of a realized GTK toplevel.
std::uint32_t windowId(GtkWidget* toplevel);
// Gives the X keyboard focus to the GTK toplevel, or to any X window.
void focusToplevel(GtkWidget* toplevel, std::uint32_t time);
void focusWindow(std::uint32_t window, std::uint32_t time);
// Hands a key event that reached GTK to another X window, as if X had
// delivered it there.
void forwardKey(std::uint32_t window, bool press, std::uint16_t keycode, unsigned state, std::uint32_t time);
// Takes the toplevel out of the Qt window it was embedded in: destroying
// that window would otherwise take the page's X window down behind GTK's back.
void detach(GtkWidget* toplevel);
// Destroys the toplevel, ignoring X errors for windows already gone.
void destroyQuietly(GtkWidget* toplevel);
// Stops GTK pacing the toplevel's painting by the compositor's frame
// messages: a window inside another client's window never receives them, and
// GTK would stop painting after the first frame wherever the window manager
// advertises them.
void disableFrameSync(GtkWidget* toplevel);
// Whether the toplevel's X window exists and is mapped, as the server says.
bool isMapped(GtkWidget* toplevel);
// Makes a realized GTK toplevel a transient of the X window `owner` (of
// another connection), kept above like it.
void keepOver(GtkWidget* window, std::uint32_t owner);
// Sends what GTK's connection has queued and waits until the server has it.
void sync();
} // namespace X11Glue
