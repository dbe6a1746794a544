#include "X11Glue.h"

#include <X11/Xlib.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace X11Glue {

std::uint32_t windowId(GtkWidget* toplevel)
{
    GdkWindow* window = gtk_widget_get_window(toplevel);
    return window ? std::uint32_t(gdk_x11_window_get_xid(window)) : 0;
}

void focusToplevel(GtkWidget* toplevel, std::uint32_t time)
{
    focusWindow(windowId(toplevel), time);
}

void focusWindow(std::uint32_t window, std::uint32_t time)
{
    GdkDisplay* display = gdk_display_get_default();
    if (!window || !display || !GDK_IS_X11_DISPLAY(display))
        return;
    // A focus request for a window that went away must not end the program.
    gdk_x11_display_error_trap_push(display);
    XSetInputFocus(gdk_x11_display_get_xdisplay(display), window, RevertToParent, time ? time : CurrentTime);
    gdk_display_flush(display);
    gdk_x11_display_error_trap_pop_ignored(display);
}

void sync()
{
    if (GdkDisplay* display = gdk_display_get_default())
        gdk_display_sync(display);
}

} // namespace X11Glue
