// What a page in a browser tab does every day: history, find, zoom, the
// links the user sends elsewhere.
#include <cmath>

#include "WebKitView.h"

#include <webkit2/webkit2.h>

namespace {
const char* const LinkKey = "quillnook-link";

constexpr WebKitFindOptions FindOptions
    = WebKitFindOptions(WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND);

QUrl linkOf(GSimpleAction* action)
{
    const char* uri = static_cast<const char*>(g_object_get_data(G_OBJECT(action), LinkKey));
    return uri ? QUrl::fromEncoded(uri) : QUrl();
}

// The link's item sends its address through the view's signal, if the view
// is still there when the user picks it.
WebKitContextMenuItem* linkItem(WebKitWebView* page, const char* name, const char* label, const char* uri,
                                void (*activated)(WebKitView&, const QUrl&))
{
    GSimpleAction* action = g_simple_action_new(name, nullptr);
    g_object_set_data_full(G_OBJECT(action), LinkKey, g_strdup(uri), g_free);
    g_object_set_data_full(G_OBJECT(action), "quillnook-page", g_object_ref(page), g_object_unref);
    g_signal_connect(action, "activate", G_CALLBACK(+[](GSimpleAction* action, GVariant*, gpointer callback) {
                         auto* page
                             = static_cast<WebKitWebView*>(g_object_get_data(G_OBJECT(action), "quillnook-page"));
                         if (WebKitView* view = WebKitView::fromWebView(page))
                             reinterpret_cast<void (*)(WebKitView&, const QUrl&)>(callback)(*view, linkOf(action));
                     }),
                     reinterpret_cast<gpointer>(activated));
    WebKitContextMenuItem* item = webkit_context_menu_item_new_from_gaction(G_ACTION(action), label, nullptr);
    g_object_unref(action);
    return item;
}

void removeStock(WebKitContextMenu* menu, WebKitContextMenuAction stock)
{
    for (GList* it = webkit_context_menu_get_items(menu); it; it = it->next) {
        auto* item = WEBKIT_CONTEXT_MENU_ITEM(it->data);
        if (webkit_context_menu_item_get_stock_action(item) == stock) {
            webkit_context_menu_remove(menu, item);
            return;
        }
    }
}

gboolean contextMenu(WebKitWebView* page, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult* hit, gpointer)
{
    if (!webkit_hit_test_result_context_is_link(hit))
        return FALSE;
    const char* uri = webkit_hit_test_result_get_link_uri(hit);
    if (!uri)
        return FALSE;
    // A new window would only replace this page; the engine's copy item
    // gives way to the browser's own, named as people know it.
    removeStock(menu, WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW);
    removeStock(menu, WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD);
    webkit_context_menu_prepend(
        menu, linkItem(page, "copy-link", "Copy Link Address", uri, [](WebKitView& view, const QUrl& url) {
            Q_EMIT view.copyLinkRequested(url);
        }));
    webkit_context_menu_prepend(
        menu,
        linkItem(page, "open-link-externally", "Open Link in Browser", uri,
                 [](WebKitView& view, const QUrl& url) { Q_EMIT view.openExternallyRequested(url); }));
    return FALSE;
}

// A link followed with Ctrl or the middle button opens in a tab of its own.
gboolean decideLink(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, WebKitView* view)
{
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return FALSE;
    WebKitNavigationAction* action
        = webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    if (webkit_navigation_action_get_navigation_type(action) != WEBKIT_NAVIGATION_TYPE_LINK_CLICKED)
        return FALSE;
    const bool middle = webkit_navigation_action_get_mouse_button(action) == 2;
    const bool control = webkit_navigation_action_get_modifiers(action) & GDK_CONTROL_MASK;
    if (!middle && !control)
        return FALSE;
    const QUrl url = QUrl::fromEncoded(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
    webkit_policy_decision_ignore(decision);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        Q_EMIT view->openInNewTabRequested(url);
    return TRUE;
}

gboolean buttonPressed(WebKitWebView*, GdkEventButton* event, WebKitView* view)
{
    // The mouse's own back and forward buttons.
    if (event->type != GDK_BUTTON_PRESS || (event->button != 8 && event->button != 9))
        return FALSE;
    if (event->button == 8)
        view->goBack();
    else
        view->goForward();
    return TRUE;
}

gboolean scrolled(WebKitWebView*, GdkEventScroll* event, WebKitView* view)
{
    if (!(event->state & GDK_CONTROL_MASK))
        return FALSE;
    int step = 0;
    if (event->direction == GDK_SCROLL_UP)
        step = 1;
    else if (event->direction == GDK_SCROLL_DOWN)
        step = -1;
    else if (event->direction == GDK_SCROLL_SMOOTH && std::abs(event->delta_y) > 0.01)
        step = event->delta_y < 0 ? 1 : -1;
    if (step != 0)
        Q_EMIT view->zoomStepRequested(step);
    // A Ctrl+wheel never scrolls the page.
    return TRUE;
}

gboolean escapePressed(WebKitWebView* page, GdkEventKey* key, WebKitView*)
{
    // Escape stops a page that is loading; the page still sees the key.
    const guint modifiers = key->state & gtk_accelerator_get_default_mod_mask();
    if (key->keyval == GDK_KEY_Escape && modifiers == 0 && webkit_web_view_is_loading(page))
        webkit_web_view_stop_loading(page);
    return FALSE;
}
} // namespace

void WebKitView::installBrowsing()
{
    g_signal_connect(m_webView, "decide-policy", G_CALLBACK(decideLink), this);
    g_signal_connect(m_webView, "context-menu", G_CALLBACK(contextMenu), this);
    g_signal_connect(m_webView, "button-press-event", G_CALLBACK(buttonPressed), this);
    g_signal_connect(m_webView, "scroll-event", G_CALLBACK(scrolled), this);
    g_signal_connect(m_webView, "key-press-event", G_CALLBACK(escapePressed), this);
    gtk_widget_add_events(GTK_WIDGET(m_webView), GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
    const auto changed = G_CALLBACK(+[](GObject*, GParamSpec*, WebKitView* self) { Q_EMIT self->historyChanged(); });
    g_signal_connect(m_webView, "notify::is-loading", changed, this);
    g_signal_connect(m_webView, "notify::uri", changed, this);
    g_signal_connect_object(webkit_web_view_get_back_forward_list(m_webView), "changed",
                            G_CALLBACK(+[](WebKitBackForwardList*, gpointer, gpointer, WebKitWebView* page) {
                                if (WebKitView* self = WebKitView::fromWebView(page))
                                    Q_EMIT self->historyChanged();
                            }),
                            m_webView, G_CONNECT_AFTER);

    WebKitFindController* finder = webkit_web_view_get_find_controller(m_webView);
    g_signal_connect_object(finder, "found-text",
                            G_CALLBACK(+[](WebKitFindController*, guint matches, WebKitWebView* page) {
                                if (WebKitView* self = WebKitView::fromWebView(page))
                                    self->onFound(matches);
                            }),
                            m_webView, GConnectFlags(0));
    g_signal_connect_object(finder, "counted-matches",
                            G_CALLBACK(+[](WebKitFindController*, guint matches, WebKitWebView* page) {
                                if (WebKitView* self = WebKitView::fromWebView(page))
                                    self->onCounted(matches);
                            }),
                            m_webView, GConnectFlags(0));
    g_signal_connect_object(finder, "failed-to-find-text", G_CALLBACK(+[](WebKitFindController*, WebKitWebView* page) {
                                if (WebKitView* self = WebKitView::fromWebView(page)) {
                                    self->m_findIndex = 0;
                                    self->m_findTotal = 0;
                                    Q_EMIT self->findResult(0, 0);
                                }
                            }),
                            m_webView, GConnectFlags(0));
}

bool WebKitView::canGoBack() const
{
    return webkit_web_view_can_go_back(m_webView);
}

bool WebKitView::canGoForward() const
{
    return webkit_web_view_can_go_forward(m_webView);
}

void WebKitView::goBack()
{
    if (!webkit_web_view_can_go_back(m_webView))
        return;
    m_timedOut = false;
    if (m_timeout.interval() <= 0)
        m_timeout.setInterval(DefaultTimeout);
    webkit_web_view_go_back(m_webView);
    m_timeout.start();
}

void WebKitView::goForward()
{
    if (!webkit_web_view_can_go_forward(m_webView))
        return;
    m_timedOut = false;
    if (m_timeout.interval() <= 0)
        m_timeout.setInterval(DefaultTimeout);
    webkit_web_view_go_forward(m_webView);
    m_timeout.start();
}

bool WebKitView::isLoading() const
{
    return webkit_web_view_is_loading(m_webView);
}

void WebKitView::find(const QString& text, bool backwards)
{
    WebKitFindController* finder = webkit_web_view_get_find_controller(m_webView);
    if (text.isEmpty()) {
        endFind();
        Q_EMIT findResult(0, 0);
        return;
    }
    if (text == m_findText && m_findTotal > 0) {
        m_findStep = backwards ? -1 : 1;
        m_findPending = true;
        if (backwards)
            webkit_find_controller_search_previous(finder);
        else
            webkit_find_controller_search_next(finder);
        return;
    }
    m_findText = text;
    m_findStep = 0;
    m_findIndex = 0;
    m_findTotal = 0;
    m_findPending = true;
    const QByteArray utf8 = text.toUtf8();
    webkit_find_controller_search(finder, utf8.constData(), FindOptions, G_MAXUINT);
    webkit_find_controller_count_matches(finder, utf8.constData(), FindOptions, G_MAXUINT);
}

void WebKitView::endFind()
{
    webkit_find_controller_search_finish(webkit_web_view_get_find_controller(m_webView));
    m_findText.clear();
    m_findIndex = 0;
    m_findTotal = 0;
    m_findStep = 0;
}

void WebKitView::onFound(unsigned matches)
{
    if (!m_findPending) {
        Q_EMIT findResult(m_findIndex, m_findTotal);
        return;
    }
    m_findPending = false;
    if (matches > 0 && m_findStep == 0)
        m_findTotal = int(matches);
    if (m_findTotal <= 0)
        m_findTotal = int(matches);
    if (m_findStep == 0 || m_findIndex == 0)
        m_findIndex = 1;
    else
        m_findIndex = (m_findIndex - 1 + m_findStep + m_findTotal) % m_findTotal + 1;
    Q_EMIT findResult(m_findIndex, m_findTotal);
}

void WebKitView::onCounted(unsigned matches)
{
    m_findTotal = int(matches);
    if (m_findIndex > m_findTotal)
        m_findIndex = m_findTotal;
    Q_EMIT findResult(m_findTotal > 0 ? std::max(m_findIndex, 1) : 0, m_findTotal);
}

qreal WebKitView::zoomFactor() const
{
    return webkit_web_view_get_zoom_level(m_webView);
}

void WebKitView::setZoomFactor(qreal factor)
{
    webkit_web_view_set_zoom_level(m_webView, factor);
}
