#include "WebKitClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "web/ImagePaste.h"

#include <gtk/gtk.h>

namespace {
WebKitClipboard::Content readThroughGtk(GdkDisplay* display)
{
    WebKitClipboard::Content content;
    GtkClipboard* clipboard = gtk_clipboard_get_for_display(display, GDK_SELECTION_CLIPBOARD);
    if (GtkSelectionData* data
        = gtk_clipboard_wait_for_contents(clipboard, gdk_atom_intern_static_string("image/png"))) {
        gint length = 0;
        const guchar* bytes = gtk_selection_data_get_data_with_length(data, &length);
        if (bytes && length > 0)
            content.png = QByteArray(reinterpret_cast<const char*>(bytes), length);
        gtk_selection_data_free(data);
    }
    if (content.png.isEmpty())
        return content;
    if (gchar* text = gtk_clipboard_wait_for_text(clipboard)) {
        content.text = QString::fromUtf8(text);
        g_free(text);
    }
    return content;
}
} // namespace

WebKitClipboard::Content WebKitClipboard::read()
{
    GdkDisplay* display = gdk_display_get_default();
    // GDK also knows other programs' windows that it has talked to; those
    // are foreign.
    GdkWindow* owner = display ? gdk_selection_owner_get_for_display(display, GDK_SELECTION_CLIPBOARD) : nullptr;
    if (owner && gdk_window_get_window_type(owner) != GDK_WINDOW_FOREIGN)
        return readThroughGtk(display);

    Content content;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    content.png = ImagePaste::pngFromClipboard(data);
    if (!content.png.isEmpty() && data && data->hasText())
        content.text = data->text();
    return content;
}
