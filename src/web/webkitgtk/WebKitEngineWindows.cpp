#include "WebKitEngineWindows.h"

#include <QWidget>

#include "web/webkitgtk/X11Glue.h"

#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <webkit2/webkit2.h>

namespace {
// Every page's follower, to find the one whose page a new window is for.
QList<WebKitEngineWindows*>& followers()
{
    static QList<WebKitEngineWindows*> all;
    return all;
}
gulong realizeHook = 0;
} // namespace

WebKitEngineWindows::WebKitEngineWindows(GtkWidget* pageWindow, QWidget* container)
    : m_pageWindow(pageWindow)
    , m_container(container)
{
    // One hook for all pages: GTK has no signal for a new toplevel, but every
    // window is realized before it is mapped.
    if (!realizeHook) {
        const guint signal = g_signal_lookup("realize", GTK_TYPE_WIDGET);
        realizeHook = g_signal_add_emission_hook(
            signal, 0,
            [](GSignalInvocationHint* hint, guint count, const GValue* params, gpointer data) -> gboolean {
                return WebKitEngineWindows::realized(hint, count, params, data);
            },
            nullptr, nullptr);
    }
    followers().append(this);
}

WebKitEngineWindows::~WebKitEngineWindows()
{
    followers().removeAll(this);
    for (GtkWidget* window : std::as_const(m_windows))
        g_signal_handlers_disconnect_by_data(window, this);
    // The page is going: so is its question.
    if (m_printDialog)
        gtk_widget_destroy(m_printDialog);
    if (m_printing)
        g_object_unref(m_printing);
}

void WebKitEngineWindows::print(WebKitPrintOperation* operation)
{
    if (m_printDialog) {
        gtk_window_present(GTK_WINDOW(m_printDialog));
        return;
    }
    m_printing = WEBKIT_PRINT_OPERATION(g_object_ref(operation));
    m_printDialog = gtk_print_unix_dialog_new(nullptr, GTK_WINDOW(m_pageWindow));
    auto* dialog = GTK_PRINT_UNIX_DIALOG(m_printDialog);
    gtk_print_unix_dialog_set_manual_capabilities(
        dialog,
        GtkPrintCapabilities(GTK_PRINT_CAPABILITY_NUMBER_UP | GTK_PRINT_CAPABILITY_NUMBER_UP_LAYOUT
                             | GTK_PRINT_CAPABILITY_PAGE_SET | GTK_PRINT_CAPABILITY_REVERSE
                             | GTK_PRINT_CAPABILITY_COPIES | GTK_PRINT_CAPABILITY_COLLATE
                             | GTK_PRINT_CAPABILITY_SCALE));
    if (GtkPrintSettings* settings = webkit_print_operation_get_print_settings(operation))
        gtk_print_unix_dialog_set_settings(dialog, settings);
    if (GtkPageSetup* setup = webkit_print_operation_get_page_setup(operation))
        gtk_print_unix_dialog_set_page_setup(dialog, setup);
    g_signal_connect(m_printDialog, "response", G_CALLBACK(+[](GtkDialog* shown, int response, gpointer data) {
                         auto* self = static_cast<WebKitEngineWindows*>(data);
                         auto* unix = GTK_PRINT_UNIX_DIALOG(shown);
                         WebKitPrintOperation* printing = std::exchange(self->m_printing, nullptr);
                         self->m_printDialog = nullptr;
                         if (response == GTK_RESPONSE_OK && printing) {
                             GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(unix);
                             if (GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(unix))
                                 gtk_print_settings_set_printer(settings, gtk_printer_get_name(printer));
                             webkit_print_operation_set_print_settings(printing, settings);
                             webkit_print_operation_set_page_setup(printing,
                                                                   gtk_print_unix_dialog_get_page_setup(unix));
                             g_object_unref(settings);
                             webkit_print_operation_print(printing);
                         }
                         if (printing)
                             g_object_unref(printing);
                         gtk_widget_destroy(GTK_WIDGET(shown));
                     }),
                     this);
    // Realized transient for the page's window: adopted, and so kept over
    // the panel, before it is mapped.
    gtk_widget_show(m_printDialog);
}

int WebKitEngineWindows::realized(void*, unsigned, const void* params, void*)
{
    auto* widget = static_cast<GtkWidget*>(g_value_get_object(static_cast<const GValue*>(params)));
    if (!GTK_IS_WINDOW(widget) || gtk_window_get_window_type(GTK_WINDOW(widget)) != GTK_WINDOW_TOPLEVEL)
        return TRUE;
    GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(widget));
    for (WebKitEngineWindows* follower : std::as_const(followers())) {
        if (parent && GTK_WIDGET(parent) == follower->m_pageWindow) {
            follower->adopt(widget);
            break;
        }
    }
    // Stays installed for the windows to come.
    return TRUE;
}

void WebKitEngineWindows::adopt(GtkWidget* window)
{
    if (m_windows.contains(window))
        return;
    QWidget* panel = m_container ? m_container->window() : nullptr;
    if (panel)
        X11Glue::keepOver(window, std::uint32_t(panel->winId()));
    m_windows.append(window);
    g_signal_connect(window, "destroy", G_CALLBACK(gone), this);
}

void WebKitEngineWindows::gone(GtkWidget* window, WebKitEngineWindows* self)
{
    g_signal_handlers_disconnect_by_data(window, self);
    self->m_windows.removeAll(window);
    self->m_hiddenWithPanel.removeAll(window);
}

void WebKitEngineWindows::setPanelShown(bool shown)
{
    if (!shown) {
        for (GtkWidget* window : std::as_const(m_windows)) {
            if (gtk_widget_get_visible(window)) {
                m_hiddenWithPanel.append(window);
                gtk_widget_hide(window);
            }
        }
        return;
    }
    const QList<GtkWidget*> hidden = std::exchange(m_hiddenWithPanel, {});
    QWidget* panel = m_container ? m_container->window() : nullptr;
    for (GtkWidget* window : hidden) {
        gtk_widget_show(window);
        if (panel)
            X11Glue::keepOver(window, std::uint32_t(panel->winId()));
        gtk_window_present(GTK_WINDOW(window));
    }
}
