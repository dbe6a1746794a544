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
// Sends what GTK's connection has queued and waits until the server has it.
void sync();
} // namespace X11Glue
