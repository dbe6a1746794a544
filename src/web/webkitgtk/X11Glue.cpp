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

void forwardKey(std::uint32_t window, bool press, std::uint16_t keycode, unsigned state, std::uint32_t time)
{
    GdkDisplay* display = gdk_display_get_default();
    if (!window || !display || !GDK_IS_X11_DISPLAY(display))
        return;
    Display* xdisplay = gdk_x11_display_get_xdisplay(display);
    XEvent event {};
    event.xkey.type = press ? KeyPress : KeyRelease;
    event.xkey.display = xdisplay;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(xdisplay);
    event.xkey.subwindow = None;
    event.xkey.time = time;
    event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 1;
    event.xkey.state = state;
    event.xkey.keycode = keycode;
    event.xkey.same_screen = True;
    gdk_x11_display_error_trap_push(display);
    XSendEvent(xdisplay, window, False, press ? KeyPressMask : KeyReleaseMask, &event);
    gdk_display_flush(display);
    gdk_x11_display_error_trap_pop_ignored(display);
}

void detach(GtkWidget* toplevel)
{
    GdkDisplay* display = gdk_display_get_default();
    const Window window = windowId(toplevel);
    if (!window || !display || !GDK_IS_X11_DISPLAY(display))
        return;
    Display* xdisplay = gdk_x11_display_get_xdisplay(display);
    gdk_x11_display_error_trap_push(display);
    XReparentWindow(xdisplay, window, DefaultRootWindow(xdisplay), -20000, -20000);
    gdk_display_sync(display);
    gdk_x11_display_error_trap_pop_ignored(display);
}

void destroyQuietly(GtkWidget* toplevel)
{
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display)) {
        gtk_widget_destroy(toplevel);
        return;
    }
    gdk_x11_display_error_trap_push(display);
    gtk_widget_destroy(toplevel);
    gdk_display_sync(display);
    gdk_x11_display_error_trap_pop_ignored(display);
}

void disableFrameSync(GtkWidget* toplevel)
{
    // GTK paces a toplevel's painting by the compositor's frame-drawn
    // messages whenever the window manager advertises them (mutter does).
    // An embedded window never receives them, so it would stop painting
    // after its first frame.
    GdkWindow* window = gtk_widget_get_window(toplevel);
    if (window && GDK_IS_X11_WINDOW(window))
        gdk_x11_window_set_frame_sync_enabled(window, FALSE);
}

bool isMapped(GtkWidget* toplevel)
{
    GdkDisplay* display = gdk_display_get_default();
    GdkWindow* window = gtk_widget_get_window(toplevel);
    if (!window || gdk_window_is_destroyed(window) || !display || !GDK_IS_X11_DISPLAY(display))
        return false;
    XWindowAttributes attributes {};
    gdk_x11_display_error_trap_push(display);
    const Status found
        = XGetWindowAttributes(gdk_x11_display_get_xdisplay(display), gdk_x11_window_get_xid(window), &attributes);
    gdk_x11_display_error_trap_pop_ignored(display);
    return found && attributes.map_state != IsUnmapped;
}

void sync()
{
    if (GdkDisplay* display = gdk_display_get_default())
        gdk_display_sync(display);
}

} // namespace X11Glue

namespace X11Glue {

void keepOver(GtkWidget* window, std::uint32_t owner)
{
    GdkDisplay* display = gdk_display_get_default();
    const Window id = windowId(window);
    if (!owner || !id || !display || !GDK_IS_X11_DISPLAY(display))
        return;
    // The owner belongs to Qt's connection, so GDK knows it only as an X id.
    gdk_x11_display_error_trap_push(display);
    XSetTransientForHint(gdk_x11_display_get_xdisplay(display), id, owner);
    gdk_display_flush(display);
    gdk_x11_display_error_trap_pop_ignored(display);
    gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
}

} // namespace X11Glue
