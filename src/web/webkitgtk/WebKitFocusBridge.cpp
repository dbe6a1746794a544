#include "WebKitFocusBridge.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include "web/webkitgtk/X11Glue.h"

#include <webkit2/webkit2.h>

namespace {
// A marker that takes the page's focus at the document's start or end, so
// that one Tab from it reaches the first (or Shift+Tab the last) element.
// It runs in a world of its own, out of the page's scripts' sight.
const char* const MarkerScript = R"((function (atEnd) {
    var marker = document.createElement('span');
    marker.tabIndex = -1;
    marker.style.cssText = 'position:fixed;top:0;left:0;width:0;height:0;overflow:hidden;outline:none';
    var root = document.body || document.documentElement;
    if (atEnd) root.appendChild(marker); else root.insertBefore(marker, root.firstChild);
    marker.focus({preventScroll: true});
    marker.addEventListener('blur', function () { marker.remove(); }, {once: true});
    return true;
})(%1))";
const char* const MarkerWorld = "quillnook-focus";

void sendKey(GtkWidget* window, GdkEventType type, guint keyval, guint state, bool modifier)
{
    GdkDisplay* display = gtk_widget_get_display(window);
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    guint16 keycode = 0;
    const guint lookup = keyval == GDK_KEY_ISO_Left_Tab ? GDK_KEY_Tab : keyval;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), lookup, &keys, &count)) {
        keycode = guint16(keys[0].keycode);
        g_free(keys);
    }
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.state = state;
    event->key.keyval = keyval;
    event->key.hardware_keycode = keycode;
    event->key.is_modifier = modifier;
    event->key.string = g_strdup(keyval == GDK_KEY_Tab ? "\t" : "");
    event->key.length = gint(strlen(event->key.string));
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
    gtk_main_do_event(event);
    gdk_event_free(event);
}

// One Tab or Shift+Tab for the page, as a keyboard sends it: WebKit takes
// a Shift+Tab without the Shift key's own press for a plain one.
void sendTab(GtkWidget* window, bool backward)
{
    if (backward)
        sendKey(window, GDK_KEY_PRESS, GDK_KEY_Shift_L, 0, true);
    const guint keyval = backward ? GDK_KEY_ISO_Left_Tab : GDK_KEY_Tab;
    const guint state = backward ? GDK_SHIFT_MASK : 0;
    sendKey(window, GDK_KEY_PRESS, keyval, state, false);
    sendKey(window, GDK_KEY_RELEASE, keyval, state, false);
    if (backward)
        sendKey(window, GDK_KEY_RELEASE, GDK_KEY_Shift_L, GDK_SHIFT_MASK, true);
}
} // namespace

WebKitFocusBridge::WebKitFocusBridge(GtkWidget* window, WebKitWebView* webView, QWidget* container)
    : m_window(window)
    , m_webView(webView)
    , m_container(container)
{
    g_signal_connect(webView, "button-press-event", G_CALLBACK(buttonPressed), this);
    g_signal_connect(webView, "key-press-event", G_CALLBACK(keyPressed), this);
    g_signal_connect(window, "focus-in-event", G_CALLBACK(windowFocusIn), this);
    g_signal_connect(window, "key-press-event", G_CALLBACK(windowKey), this);
    g_signal_connect(window, "key-release-event", G_CALLBACK(windowKey), this);
    g_signal_connect(window, "set-focus", G_CALLBACK(setFocus), this);
    container->setFocusPolicy(Qt::StrongFocus);
    container->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, &WebKitFocusBridge::onFocusChanged);
}

WebKitFocusBridge::~WebKitFocusBridge()
{
    g_signal_handlers_disconnect_by_data(m_webView, this);
    g_signal_handlers_disconnect_by_data(m_window, this);
    if (m_container)
        m_container->removeEventFilter(this);
}

void WebKitFocusBridge::focusPage()
{
    m_entry = Entry::None;
    gtk_widget_grab_focus(GTK_WIDGET(m_webView));
    if (m_container && !m_container->hasFocus())
        m_container->setFocus(Qt::OtherFocusReason);
    giveXFocusToPage(0);
}

bool WebKitFocusBridge::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_container && event->type() == QEvent::FocusIn) {
        switch (static_cast<QFocusEvent*>(event)->reason()) {
        case Qt::TabFocusReason:
            enter(Entry::First);
            break;
        case Qt::BacktabFocusReason:
            enter(Entry::Last);
            break;
        default:
            giveXFocusToPage(0);
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void WebKitFocusBridge::enter(Entry entry)
{
    m_entry = entry;
    m_markerPlaced = false;
    gtk_widget_grab_focus(GTK_WIDGET(m_webView));
    giveXFocusToPage(0);
    const QByteArray script = QByteArray(MarkerScript).replace("%1", entry == Entry::Last ? "true" : "false");
    auto* self = new QPointer<WebKitFocusBridge>(this);
    webkit_web_view_evaluate_javascript(
        m_webView, script.constData(), script.size(), MarkerWorld, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<QPointer<WebKitFocusBridge>> bridge(static_cast<QPointer<WebKitFocusBridge>*>(data));
            if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr))
                g_object_unref(value);
            // A page that could not take the marker still gets the Tab.
            if (*bridge) {
                (*bridge)->m_markerPlaced = true;
                (*bridge)->sendTabWhenReady();
            }
        },
        self);
}

void WebKitFocusBridge::giveXFocusToPage(unsigned time)
{
    if (!m_container || !m_container->isVisible())
        return;
    m_pageHasKeys = true;
    X11Glue::focusToplevel(m_window, time);
}

void WebKitFocusBridge::sendTabWhenReady()
{
    if (m_entry == Entry::None || !m_markerPlaced || !gtk_window_has_toplevel_focus(GTK_WINDOW(m_window)))
        return;
    const bool backward = m_entry == Entry::Last;

    m_entry = Entry::None;
    sendTab(m_window, backward);
}

void WebKitFocusBridge::leave(bool forward)
{
    // GTK's own Tab handling ends here; the page keeps the GTK focus for the
    // next time it is entered, and Qt moves on from the page's widget.
    QTimer::singleShot(0, this, [this, forward] {
        gtk_widget_grab_focus(GTK_WIDGET(m_webView));
        m_leaving = false;
        m_tabPressed = false;
        if (!m_container || !m_container->hasFocus())
            return;
        QKeyEvent tab(QEvent::KeyPress, forward ? Qt::Key_Tab : Qt::Key_Backtab,
                      forward ? Qt::NoModifier : Qt::ShiftModifier);
        QApplication::sendEvent(m_container, &tab);
    });
}

void WebKitFocusBridge::onFocusChanged(QWidget* old, QWidget* now)
{
    // The X focus follows Qt's back out of the page, or keys typed into a Qt
    // field would still reach the page. Qt may also hand the focus straight to
    // another widget without the page's losing it first (the panel becoming
    // active again after a quick hide and show).
    if (now && now != m_container && (old == m_container || m_pageHasKeys)) {
        m_pageHasKeys = false;
        m_panelWindow = std::uint32_t(now->window()->winId());
        X11Glue::focusWindow(m_panelWindow, 0);
    }
}

int WebKitFocusBridge::buttonPressed(GtkWidget*, void* event, WebKitFocusBridge* self)
{
    self->m_entry = Entry::None;
    self->m_pageHasKeys = true;
    X11Glue::focusToplevel(self->m_window, static_cast<GdkEventButton*>(event)->time);
    if (self->m_container && !self->m_container->hasFocus())
        self->m_container->setFocus(Qt::MouseFocusReason);
    // WebKit's own handler runs next and places the click.
    return FALSE;
}

int WebKitFocusBridge::keyPressed(GtkWidget*, void* event, WebKitFocusBridge* self)
{
    const auto* key = static_cast<GdkEventKey*>(event);
    // WebKit hands keys the page did not use back to GTK later, Shift among
    // them; a modifier says nothing about where the focus goes.
    if (key->is_modifier)
        return FALSE;
    self->m_tabPressed = key->keyval == GDK_KEY_Tab || key->keyval == GDK_KEY_ISO_Left_Tab;
    self->m_backtabPressed = key->keyval == GDK_KEY_ISO_Left_Tab || (key->state & GDK_SHIFT_MASK);
    return FALSE;
}

int WebKitFocusBridge::windowKey(GtkWidget*, void* event, WebKitFocusBridge* self)
{
    // With the X focus on the panel, X still hands keys to the window under
    // the pointer when it lies inside the focus window: the page, whenever
    // the pointer rests on it. Those keys belong to Qt's focused widget.
    const auto* key = static_cast<GdkEventKey*>(event);
    const PageKey seen {key->type, key->time, key->keyval, key->hardware_keycode};
    if (self->m_pageHasKeys) {
        self->m_pageKeys[self->m_nextPageKey] = seen;
        self->m_nextPageKey = (self->m_nextPageKey + 1) % self->m_pageKeys.size();
        return FALSE;
    }
    if (!self->m_panelWindow)
        return FALSE;
    // A key the page already had, handed back by WebKit after Qt took the
    // keyboard: above all the Tab that left the page, for which Qt has moved
    // on already. Sent on, it would move Qt's focus a second stop.
    for (const PageKey& taken : self->m_pageKeys) {
        if (taken.type == seen.type && taken.time == seen.time && taken.keyval == seen.keyval
            && taken.keycode == seen.keycode)
            return TRUE;
    }
    X11Glue::forwardKey(self->m_panelWindow, key->type == GDK_KEY_PRESS, key->hardware_keycode, key->state, key->time);
    return TRUE;
}

int WebKitFocusBridge::windowFocusIn(GtkWidget*, void*, WebKitFocusBridge* self)
{
    // Queued: GTK marks its toplevel focused after this handler.
    QTimer::singleShot(0, self, &WebKitFocusBridge::sendTabWhenReady);
    return FALSE;
}

void WebKitFocusBridge::setFocus(GtkWidget*, GtkWidget* widget, WebKitFocusBridge* self)
{
    // A Tab that WebKit did not use moves GTK focus off the page: onto a
    // sentinel, or nowhere first when GTK wraps around. GTK may also move its
    // focus on its own (when the window maps); only a Tab leaves the page.
    if (widget == GTK_WIDGET(self->m_webView) || !self->m_tabPressed || self->m_leaving)
        return;
    if (!self->m_container || !self->m_container->hasFocus())
        return;
    self->m_leaving = true;
    self->leave(!self->m_backtabPressed);
}
