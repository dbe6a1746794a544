#include "WebKitView.h"

#include <algorithm>
#include <cstdio>

#include <QEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include "web/ImagePaste.h"
#include "web/webkitgtk/WebKitClipboard.h"
#include "web/webkitgtk/WebKitEngine.h"
#include "web/webkitgtk/WebKitEngineModule.h"
#include "web/webkitgtk/WebKitEngineWindows.h"
#include "web/webkitgtk/WebKitFileChooser.h"
#include "web/webkitgtk/WebKitFocusBridge.h"
#include "web/webkitgtk/WebKitPasteChannel.h"
#include "web/webkitgtk/WebKitPreviewGuard.h"
#include "web/webkitgtk/WebKitShortcutForward.h"
#include "web/webkitgtk/WebKitXcbHooks.h"
#include "web/webkitgtk/X11Glue.h"

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

namespace {
const char* const ViewKey = "quillnook-view";
// Where the program's own scripts run apart from the page's.
const char* const IsolatedWorld = "quillnook";
// Where GTK keeps the window until Qt adopts it, so it never flashes.
constexpr int OffScreen = -20000;
// How often a shown page is asked, and how long it may take to answer.
constexpr int ProbeIntervalMs = 1000;
constexpr qint64 ProbePatienceMs = 5000;

QString fromUtf8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

QVariant toVariant(JSCValue* value)
{
    if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value))
        return {};
    if (char* json = jsc_value_to_json(value, 0)) {
        const QByteArray wrapped = "[" + QByteArray(json) + "]";
        g_free(json);
        return QJsonDocument::fromJson(wrapped).array().first().toVariant();
    }
    char* text = jsc_value_to_string(value);
    QVariant result = fromUtf8(text);
    g_free(text);
    return result;
}

// Where a new-window request may lead: a web page, loaded as the page's own
// navigation. Script, local file, data and blob addresses would run or show
// with rights the requesting frame does not have.
bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

void printRefusal(const QUrl& url)
{
    // The scheme alone: the rest of the address is the page's to hide.
    QString scheme = url.scheme().toLower();
    scheme.remove(QRegularExpression(QStringLiteral("[^a-z0-9+.-]")));
    WebKitEngineModule::notice(QStringLiteral("Refused to open a %1: address from a page")
                                   .arg(scheme.isEmpty() ? QStringLiteral("scheme-less") : scheme));
}

bool isAttachment(WebKitURIResponse* response)
{
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    const char* disposition = headers ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr;
    return disposition && QByteArray(disposition).trimmed().toLower().startsWith("attachment");
}
} // namespace

// A script that has not answered yet. Its completion runs once: from WebKit's
// callback, or from the view's destructor, whichever comes first.
struct WebKitView::PendingScript
{
    ScriptCompletion completion;

    void finish(const QVariant& result, const QString& error)
    {
        if (!completion)
            return;
        ScriptCompletion call = std::move(completion);
        completion = nullptr;
        call(result, error);
    }
};

// A dialog the page waits on; the first answer closes it, later ones do nothing.
struct WebKitView::PendingDialog
{
    WebKitScriptDialog* dialog;

    explicit PendingDialog(WebKitScriptDialog* d)
        : dialog(webkit_script_dialog_ref(d))
    { }
    ~PendingDialog() { close(); }

    void confirm(bool confirmed)
    {
        if (dialog)
            webkit_script_dialog_confirm_set_confirmed(dialog, confirmed);
        close();
    }
    void answerPrompt(const std::optional<QString>& text)
    {
        // Closed without a text, the prompt returns null to the page.
        if (dialog && text)
            webkit_script_dialog_prompt_set_text(dialog, text->toUtf8().constData());
        close();
    }
    void close()
    {
        if (!dialog)
            return;
        webkit_script_dialog_close(dialog);
        webkit_script_dialog_unref(dialog);
        dialog = nullptr;
    }
};

WebKitView::WebKitView(WebKitWebContext* context, const WebViewOptions& options)
    : m_options(options)
{
    const bool preview = options.purpose == WebViewOptions::Purpose::FilePreview;
    WebKitSettings* settings = webkit_settings_new();
    if (!options.userAgent.isEmpty())
        webkit_settings_set_user_agent(settings, options.userAgent.toUtf8().constData());
    // A shelf file runs none of its own scripts and reads no other file.
    webkit_settings_set_enable_javascript_markup(settings, !preview);
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    const WebKitEngine::PrivateFileMode privateFiles;
    m_webView
        = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings, nullptr));
    g_object_unref(settings);
    g_object_set_data(G_OBJECT(m_webView), ViewKey, this);

    g_signal_connect(m_webView, "load-changed", G_CALLBACK(loadChanged), this);
    g_signal_connect(m_webView, "load-failed", G_CALLBACK(loadFailed), this);
    g_signal_connect(m_webView, "create", G_CALLBACK(create), this);
    // First: a Ctrl+click or middle click on a link is the browser's, not the page's.
    installBrowsing();
    g_signal_connect(m_webView, "decide-policy", G_CALLBACK(decidePolicy), this);
    g_signal_connect(m_webView, "script-dialog", G_CALLBACK(scriptDialog), this);
    g_signal_connect(m_webView, "permission-request", G_CALLBACK(permissionRequest), this);
    g_signal_connect(m_webView, "web-process-terminated", G_CALLBACK(processTerminated), this);
    g_signal_connect(m_webView, "key-press-event", G_CALLBACK(keyPressed), this);
    g_signal_connect(m_webView, "notify::title", G_CALLBACK(notifyTitle), this);
    g_signal_connect(m_webView, "notify::uri", G_CALLBACK(notifyUri), this);
    g_signal_connect(m_webView, "notify::estimated-load-progress", G_CALLBACK(notifyProgress), this);
    g_signal_connect(m_webView, "notify::is-web-process-responsive", G_CALLBACK(notifyResponsive), this);
    g_signal_connect(m_webView, "print", G_CALLBACK(print), this);
    WebKitShortcutForward::install(m_webView, this);
    m_fileChooser = std::make_unique<WebKitFileChooser>(m_webView, *this);

    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &WebKitView::onTimeout);
    buildWindow();
    m_engineWindows = std::make_unique<WebKitEngineWindows>(m_window, m_container);
    if (options.purpose == WebViewOptions::Purpose::Browser) {
        m_probeTimer.setInterval(ProbeIntervalMs);
        connect(&m_probeTimer, &QTimer::timeout, this, &WebKitView::probeResponsiveness);
        m_probeTimer.start();
    }
}

WebKitView::~WebKitView()
{
    // From here on nothing of WebKit reaches this object or its delegates.
    m_engineWindows.reset();
    m_focus.reset();
    m_fileChooser.reset();
    g_signal_handlers_disconnect_by_data(m_webView, this);
    g_signal_handlers_disconnect_by_data(m_window, this);
    g_object_set_data(G_OBJECT(m_webView), ViewKey, nullptr);
    for (const auto& script : m_scripts)
        script->finish({}, QStringLiteral("The page went away before the script finished."));
    m_scripts.clear();
    // Pages waiting on a dialog get the answer of a dismissed one.
    for (const auto& dialog : m_dialogs)
        dialog->close();
    m_dialogs.clear();
    webkit_web_view_stop_loading(m_webView);
    if (m_container)
        m_container->removeEventFilter(this);
    X11Glue::detach(m_window);
    delete m_host.data();
    // Sent now, its X errors ignored: a Qt window destroyed next would
    // otherwise take this window down first, and the late request would fail.
    X11Glue::destroyQuietly(m_window);
}

WebKitView* WebKitView::fromWebView(WebKitWebView* webView)
{
    return static_cast<WebKitView*>(g_object_get_data(G_OBJECT(webView), ViewKey));
}

void WebKitView::buildWindow()
{
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(m_window), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(m_window), 400, 600);
    // Focusable, zero-size widgets around the page: GTK focus reaching one
    // means Tab or Shift+Tab has left the page.
    GtkWidget* before = gtk_event_box_new();
    GtkWidget* after = gtk_event_box_new();
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    for (GtkWidget* sentinel : {before, after})
        gtk_widget_set_can_focus(sentinel, TRUE);
    gtk_box_pack_start(GTK_BOX(box), before, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), GTK_WIDGET(m_webView), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), after, FALSE, FALSE, 0);
    GList* chain = g_list_append(g_list_append(g_list_append(nullptr, before), m_webView), after);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(box), chain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_list_free(chain);
    gtk_container_add(GTK_CONTAINER(m_window), box);
    gtk_window_set_focus(GTK_WINDOW(m_window), GTK_WIDGET(m_webView));
    // Someone else unmapping or destroying the page's window must not leave
    // a silent blank: the tab shows the crash state, and a reload mends it.
    g_signal_connect(m_window, "unmap-event", G_CALLBACK(windowGone), this);
    g_signal_connect(m_window, "destroy-event", G_CALLBACK(windowGone), this);

    m_host = new QWidget;
    m_host->setMinimumSize(1, 1);
    auto* layout = new QVBoxLayout(m_host);
    layout->setContentsMargins(0, 0, 0, 0);
    embedWindow();
}

void WebKitView::embedWindow()
{
    // Override-redirect and shown before Qt adopts it: GTK then treats it as
    // mapped, and the window manager never sees it.
    gtk_widget_realize(m_window);
    gdk_window_set_override_redirect(gtk_widget_get_window(m_window), TRUE);
    X11Glue::disableFrameSync(m_window);
    gtk_window_move(GTK_WINDOW(m_window), OffScreen, OffScreen);
    // The window itself is first mapped inside its container: mapped once on
    // the root window, a compositing window manager's redirection of it
    // could outlive the move into the panel, and what GTK draws then stays
    // in an image of its own that never reaches the screen.
    gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(m_window)));
    X11Glue::sync();

    QWindow* foreign = QWindow::fromWinId(WId(X11Glue::windowId(m_window)));
    // Qt rewrites the window's override-redirect flag from its window flags
    // (the container adds its own to them). Kept on, the window manager
    // never takes the page's window, even where it passes through the root
    // window for a moment or is moved there on its way out.
    foreign->setFlag(Qt::BypassWindowManagerHint);
    m_container = QWidget::createWindowContainer(foreign, m_host);
    m_container->setMinimumSize(1, 1);
    // A window container takes drags for the window inside it, and the page's
    // window ignores what Qt hands it: drops belong to the view's widget,
    // which takes them when its owner wants files dropped on the page.
    m_container->setAcceptDrops(false);
    m_container->installEventFilter(this);
    m_host->layout()->addWidget(m_container);
    m_host->setFocusProxy(m_container);
    m_focus = std::make_unique<WebKitFocusBridge>(m_window, m_webView, m_container);
    // Shown with its container: the page then knows it is seen.
    if (m_container->isVisible())
        showInContainer();
}

void WebKitView::showInContainer()
{
    // Qt's reparenting of the window first, then GTK's map: both reach the
    // server in that order, and the window is never mapped on the root.
    WebKitXcbHooks::syncQt();
    gtk_widget_show(m_window);
    X11Glue::sync();
}

void WebKitView::loseWindow()
{
    if (m_windowLost)
        return;
    m_windowLost = true;
    m_timeout.stop();
    // Outside GTK's event handler: the tab rebuilds what it shows.
    QTimer::singleShot(0, this, [this] { Q_EMIT webProcessTerminated(); });
}

void WebKitView::restoreWindow()
{
    m_windowLost = false;
    const bool focused = m_container && m_container->hasFocus();
    m_focus.reset();
    if (m_container)
        m_container->removeEventFilter(this);
    X11Glue::detach(m_window);
    delete m_container.data();
    gtk_widget_hide(m_window);
    gtk_widget_unrealize(m_window);
    embedWindow();
    if (focused)
        m_container->setFocus(Qt::OtherFocusReason);
}

int WebKitView::windowGone(GtkWidget*, void* event, WebKitView* self)
{
    const auto* gone = static_cast<GdkEvent*>(event);
    if (gone->type == GDK_UNMAP) {
        // Unmapped while GTK still has it shown: not by this view. Moving the
        // window into another unmaps it for a moment too; only a window that
        // stays unmapped is lost.
        if (gtk_widget_get_visible(self->m_window))
            QTimer::singleShot(250, self, [self] {
                if (gtk_widget_get_visible(self->m_window) && !X11Glue::isMapped(self->m_window))
                    self->loseWindow();
            });
        return FALSE;
    }
    self->loseWindow();
    // TRUE keeps GTK from destroying the page along with its window.
    return gone->type == GDK_DESTROY;
}

bool WebKitView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_container) {
        switch (event->type()) {
        case QEvent::Resize:
            gtk_window_resize(GTK_WINDOW(m_window), std::max(1, m_container->width()),
                              std::max(1, m_container->height()));
            break;
        // Otherwise the page would believe itself visible while hidden.
        case QEvent::Show:
            showInContainer();
            m_engineWindows->setPanelShown(true);
            break;
        case QEvent::Hide:
            // At once: Qt may destroy its windows next, and a late unmap of
            // the page's window inside them would be an X error.
            gtk_widget_hide(m_window);
            X11Glue::sync();
            // The engine's own windows go with the panel, not with a tab
            // that is merely out of sight.
            if (m_container->window()->isHidden())
                m_engineWindows->setPanelShown(false);
            break;
        default:
            break;
        }
    }
    return WebView::eventFilter(watched, event);
}

QWidget* WebKitView::widget()
{
    return m_host;
}

void WebKitView::load(const QUrl& url, std::chrono::seconds timeout)
{
    m_timedOut = false;
    m_timeout.setInterval(timeout);
    const QByteArray uri = url.toEncoded();
    if (!isConfined() || uri == "about:blank") {
        ++m_confineRequest;
        const WebKitEngine::PrivateFileMode privateFiles;
        webkit_web_view_load_uri(m_webView, uri.constData());
        m_timeout.start();
        return;
    }
    // A previewed file loads once its filter is in force, and no other load
    // overtakes it meanwhile.
    const quint64 request = ++m_confineRequest;
    m_confinedUri = uri;
    QPointer<WebKitView> guard(this);
    m_timeout.start();
    WebKitPreviewGuard::confine(m_webView, uri, [guard, request, uri](bool confined) {
        if (!guard || guard->m_confineRequest != request)
            return;
        const WebKitEngine::PrivateFileMode privateFiles;
        webkit_web_view_load_uri(guard->m_webView, confined ? uri.constData() : "about:blank");
    });
}

void WebKitView::stopLoading()
{
    webkit_web_view_stop_loading(m_webView);
}

void WebKitView::reload()
{
    if (m_windowLost)
        restoreWindow();
    m_timedOut = false;
    if (m_timeout.interval() <= 0)
        m_timeout.setInterval(DefaultTimeout);
    const WebKitEngine::PrivateFileMode privateFiles;
    webkit_web_view_reload(m_webView);
    m_timeout.start();
}

void WebKitView::navigateFromPage(const QUrl& url)
{
    if (!isWebAddress(url) || !url.isValid()) {
        printRefusal(url);
        return;
    }
    // Run by the page's main frame, in a script world of its own that the
    // page cannot reach into: the engine applies the page's rules to it, as
    // to any navigation the page starts.
    const QByteArray address
        = QJsonDocument(QJsonArray {QString::fromLatin1(url.toEncoded())}).toJson(QJsonDocument::Compact);
    const QByteArray script = "location.assign(" + address + "[0]); undefined";
    m_timedOut = false;
    m_timeout.setInterval(DefaultTimeout);
    webkit_web_view_evaluate_javascript(m_webView, script.constData(), script.size(), "quillnook-navigation", nullptr,
                                        nullptr, nullptr, nullptr);
    m_timeout.start();
}

bool WebKitView::isResponsive() const
{
    return webkit_web_view_get_is_web_process_responsive(m_webView) && !m_probeOverdue;
}

void WebKitView::terminateWebProcess()
{
    m_probeSent.invalidate();
    m_probeOverdue = false;
    webkit_web_view_terminate_web_process(m_webView);
    updateResponsiveness();
}

void WebKitView::probeResponsiveness()
{
    if (m_probeSent.isValid()) {
        // A page waiting on its own dialog runs no script, and is not stuck.
        const bool waitingOnUser
            = std::any_of(m_dialogs.cbegin(), m_dialogs.cend(), [](const auto& open) { return open->dialog; });
        if (!waitingOnUser && m_probeSent.elapsed() >= ProbePatienceMs && !m_probeOverdue) {
            m_probeOverdue = true;
            updateResponsiveness();
        }
        return;
    }
    if (!m_container || !m_container->isVisible())
        return;
    m_probeSent.start();
    auto* self = new QPointer<WebKitView>(this);
    // A question the page's own thread answers, which neither runs script
    // in the page nor counts as the user acting on it.
    webkit_web_view_can_execute_editing_command(
        m_webView, WEBKIT_EDITING_COMMAND_COPY, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<QPointer<WebKitView>> view(static_cast<QPointer<WebKitView>*>(data));
            GError* error = nullptr;
            webkit_web_view_can_execute_editing_command_finish(WEBKIT_WEB_VIEW(source), result, &error);
            if (error)
                g_error_free(error);
            // An answer, or a process that is gone: either way not stuck.
            if (WebKitView* self = view->data()) {
                self->m_probeSent.invalidate();
                self->m_probeOverdue = false;
                self->updateResponsiveness();
            }
        },
        self);
}

void WebKitView::updateResponsiveness()
{
    const bool responsive = isResponsive();
    if (responsive == m_reportedResponsive)
        return;
    m_reportedResponsive = responsive;
    Q_EMIT responsivenessChanged(responsive);
}

QUrl WebKitView::url() const
{
    const char* uri = webkit_web_view_get_uri(m_webView);
    return uri ? QUrl::fromEncoded(uri) : QUrl();
}

QString WebKitView::title() const
{
    return fromUtf8(webkit_web_view_get_title(m_webView));
}

void WebKitView::evaluateJavaScript(const QString& script, ScriptCompletion completion)
{
    evaluateJavaScriptUtf8(script.toUtf8(), std::move(completion));
}

void* WebKitView::holdScript(ScriptCompletion completion)
{
    m_scripts.remove_if([](const auto& pending) { return !pending->completion; });
    auto pending = std::make_shared<PendingScript>();
    pending->completion = std::move(completion);
    m_scripts.push_back(pending);
    // The callback owns a reference of its own: WebKit calls it even when the
    // view has gone, and then it only finds the completion already spent.
    return new std::shared_ptr<PendingScript>(pending);
}

void WebKitView::scriptAnswered(void* held, JSCValue* value, GError* error)
{
    std::unique_ptr<std::shared_ptr<PendingScript>> script(static_cast<std::shared_ptr<PendingScript>*>(held));
    if (error) {
        const QString message = fromUtf8(error->message);
        g_error_free(error);
        (*script)->finish({}, message.isEmpty() ? QStringLiteral("The script failed.") : message);
        return;
    }
    const QVariant variant = toVariant(value);
    if (value)
        g_object_unref(value);
    (*script)->finish(variant, {});
}

void WebKitView::evaluateJavaScriptUtf8(const QByteArray& source, ScriptCompletion completion)
{
    webkit_web_view_evaluate_javascript(
        m_webView, source.constData(), source.size(), nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            scriptAnswered(data, value, error);
        },
        holdScript(std::move(completion)));
}

QStringList WebKitView::offerOnce(const QByteArray& data, const QString& mimeType)
{
    QStringList addresses;
    for (const QByteArray& address : WebKitPasteChannel::offer(m_webView, data, mimeType.toUtf8()))
        addresses.append(QString::fromLatin1(address));
    return addresses;
}

void WebKitView::withdrawOffer(const QStringList& addresses)
{
    for (const QString& address : addresses)
        WebKitPasteChannel::withdraw(m_webView, address.toLatin1());
}

void WebKitView::callIsolatedAsyncFunction(const QString& body, const QVariantMap& arguments,
                                           ScriptCompletion completion)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    for (auto it = arguments.cbegin(); it != arguments.cend(); ++it) {
        const QByteArray key = it.key().toUtf8();
        switch (it.value().typeId()) {
        case QMetaType::Bool:
            g_variant_builder_add(&builder, "{sv}", key.constData(), g_variant_new_boolean(it.value().toBool()));
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double:
            g_variant_builder_add(&builder, "{sv}", key.constData(), g_variant_new_double(it.value().toDouble()));
            break;
        default:
            g_variant_builder_add(&builder, "{sv}", key.constData(),
                                  g_variant_new_string(it.value().toString().toUtf8().constData()));
            break;
        }
    }
    const QByteArray source = body.toUtf8();
    webkit_web_view_call_async_javascript_function(
        m_webView, source.constData(), source.size(), g_variant_builder_end(&builder), IsolatedWorld, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            GError* error = nullptr;
            JSCValue* value
                = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
            scriptAnswered(data, value, error);
        },
        holdScript(std::move(completion)));
}

void WebKitView::focusPage()
{
    if (m_focus)
        m_focus->focusPage();
}

void WebKitView::paste()
{
    // The one way a paste reaches the page, Ctrl+V included. WebKit's own
    // paste hands the page no file for an image; ImagePaste does.
    const WebKitClipboard::Content clipboard = WebKitClipboard::read();
    ImagePaste::paste(*this, clipboard.png, clipboard.text,
                      [this] { webkit_web_view_execute_editing_command(m_webView, WEBKIT_EDITING_COMMAND_PASTE); });
}

void WebKitView::restartTimeout()
{
    if (m_timeout.isActive())
        m_timeout.start();
}

// WebKitGTK's load events become the delegate's three outcomes:
//  load-failed during STARTED or REDIRECTED (nothing of the page committed)
//      -> webViewDidFailProvisionalNavigation
//  load-failed during COMMITTED (the page had begun to arrive)
//      -> webViewDidFailNavigation
//  load-changed FINISHED without a failure before it -> webViewDidFinishNavigation
// WebKit sends FINISHED after a failure too; that one is not a finished page.
// Every failure is reported, a load cancelled by a newer one included.
void WebKitView::onLoadChanged(int event)
{
    switch (event) {
    case WEBKIT_LOAD_STARTED:
        m_loadFailed = false;
        m_becameDownload = false;
        restartTimeout();
        break;
    case WEBKIT_LOAD_REDIRECTED:
    case WEBKIT_LOAD_COMMITTED:
        restartTimeout();
        break;
    case WEBKIT_LOAD_FINISHED:
        m_timeout.stop();
        if (m_loadFailed)
            break;
        if (WebNavigationDelegate* delegate = navigationDelegate())
            delegate->webViewDidFinishNavigation(*this);
        break;
    default:
        break;
    }
}

void WebKitView::onLoadFailed(int event, const QString& message)
{
    m_loadFailed = true;
    m_timeout.stop();
    const QString reason = m_timedOut ? QStringLiteral("The request timed out.") : message;
    m_timedOut = false;
    WebNavigationDelegate* delegate = navigationDelegate();
    if (!delegate)
        return;
    if (event == WEBKIT_LOAD_COMMITTED)
        delegate->webViewDidFailNavigation(*this, reason);
    else
        delegate->webViewDidFailProvisionalNavigation(*this, reason);
}

void WebKitView::onTimeout()
{
    if (!webkit_web_view_is_loading(m_webView))
        return;
    m_timedOut = true;
    webkit_web_view_stop_loading(m_webView);
}

void WebKitView::requestNewWindow(const QUrl& url)
{
    // A blank window is what a page opens to write into; there is none.
    if (url.isEmpty() || url.toString() == QLatin1String("about:blank"))
        return;
    if (!isWebAddress(url)) {
        printRefusal(url);
        return;
    }
    // Answered on a later turn, outside WebKit's signal: the delegate
    // navigates this same view.
    QTimer::singleShot(0, this, [this, url] {
        if (WebUiDelegate* delegate = uiDelegate())
            delegate->webViewCreateWebView(*this, url, false);
    });
}

void WebKitView::runDialog(WebKitScriptDialog* dialog)
{
    const auto type = webkit_script_dialog_get_dialog_type(dialog);
    auto pending = std::make_shared<PendingDialog>(dialog);
    m_dialogs.remove_if([](const auto& open) { return !open->dialog; });
    m_dialogs.push_back(pending);
    if (type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) {
        // Leaving a page is never held up. The engine must get the answer
        // after its signal has returned: answered inside it, the navigation
        // goes on while the engine still holds the dialog, and it crashes.
        QTimer::singleShot(0, this, [pending] { pending->confirm(true); });
        return;
    }
    const QString message = fromUtf8(webkit_script_dialog_get_message(dialog));
    const QString defaultText = type == WEBKIT_SCRIPT_DIALOG_PROMPT
        ? fromUtf8(webkit_script_dialog_prompt_get_default_text(dialog))
        : QString();
    // Shown on a later turn: WebKit waits for the answer, not for the signal.
    QTimer::singleShot(0, this, [this, pending, type, message, defaultText] {
        WebUiDelegate* delegate = uiDelegate();
        if (!pending->dialog)
            return;
        if (!delegate) {
            pending->close();
            return;
        }
        switch (type) {
        case WEBKIT_SCRIPT_DIALOG_ALERT:
            delegate->webViewRunAlert(*this, message, [pending] { pending->close(); });
            break;
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            delegate->webViewRunConfirm(*this, message, [pending](bool ok) { pending->confirm(ok); });
            break;
        default:
            delegate->webViewRunPrompt(*this, message, defaultText,
                                       [pending](std::optional<QString> text) { pending->answerPrompt(text); });
            break;
        }
    });
}

void WebKitView::loadChanged(WebKitWebView*, int event, WebKitView* self)
{
    self->onLoadChanged(event);
}

int WebKitView::loadFailed(WebKitWebView*, int event, const char* uri, void* error, WebKitView* self)
{
    const auto* failure = static_cast<GError*>(error);
    // A response saved as a download ends the navigation without a page:
    // the one shown before stays, and its finish is reported as usual.
    if (self->m_becameDownload && failure->domain == WEBKIT_POLICY_ERROR
        && failure->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)
        return TRUE;
    self->setFailedUrl(uri ? QUrl::fromEncoded(uri) : QUrl());
    self->onLoadFailed(event, fromUtf8(failure->message));
    // TRUE: no built-in error page replaces what the tab shows.
    return TRUE;
}

GtkWidget* WebKitView::create(WebKitWebView*, void* action, WebKitView* self)
{
    WebKitURIRequest* request = webkit_navigation_action_get_request(static_cast<WebKitNavigationAction*>(action));
    self->requestNewWindow(QUrl::fromEncoded(webkit_uri_request_get_uri(request)));
    return nullptr;
}

int WebKitView::decidePolicy(WebKitWebView*, void* decision, int type, WebKitView* self)
{
    auto* policy = static_cast<WebKitPolicyDecision*>(decision);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        WebKitNavigationAction* action
            = webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(policy));
        self->requestNewWindow(
            QUrl::fromEncoded(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action))));
        webkit_policy_decision_ignore(policy);
        return TRUE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && self->isConfined()) {
        // A preview shows its file and nothing else: no refresh, link or
        // frame takes it elsewhere while the header still names the file.
        WebKitNavigationAction* action
            = webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(policy));
        const char* target = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (!WebKitPreviewGuard::allowsNavigation(QByteArray(target ? target : ""), self->m_confinedUri)) {
            webkit_policy_decision_ignore(policy);
            return TRUE;
        }
        return FALSE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        auto* response = WEBKIT_RESPONSE_POLICY_DECISION(policy);
        if (!webkit_response_policy_decision_is_main_frame_main_resource(response))
            return FALSE;
        WebKitURIResponse* answer = webkit_response_policy_decision_get_response(response);
        const bool showable = webkit_response_policy_decision_is_mime_type_supported(response) && !isAttachment(answer);
        const bool preview = self->m_options.purpose == WebViewOptions::Purpose::FilePreview;
        if (showable && preview) {
            // The built-in PDF viewer is the engine's own script, fed by one in
            // the document that hosts it; a shelf file of any other type runs
            // none. Set before the document commits, so it holds for it.
            const bool pdf = qstrcmp(webkit_uri_response_get_mime_type(answer), "application/pdf") == 0;
            webkit_settings_set_enable_javascript_markup(webkit_web_view_get_settings(self->m_webView), pdf);
        }
        if (showable)
            return FALSE;
        // A file preview never writes into the user's folders.
        if (preview)
            webkit_policy_decision_ignore(policy);
        else {
            self->m_becameDownload = true;
            webkit_policy_decision_download(policy);
        }
        return TRUE;
    }
    return FALSE;
}

int WebKitView::scriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, WebKitView* self)
{
    self->runDialog(dialog);
    return TRUE;
}

int WebKitView::permissionRequest(WebKitWebView*, void* request, WebKitView*)
{
    // The clipboard is how a page reads a pasted screenshot; camera,
    // microphone, location, notifications and the rest are refused.
    auto* permission = static_cast<WebKitPermissionRequest*>(request);
    if (WEBKIT_IS_CLIPBOARD_PERMISSION_REQUEST(permission))
        webkit_permission_request_allow(permission);
    else
        webkit_permission_request_deny(permission);
    return TRUE;
}

void WebKitView::processTerminated(WebKitWebView*, int, WebKitView* self)
{
    self->m_timeout.stop();
    Q_EMIT self->webProcessTerminated();
}

int WebKitView::keyPressed(WebKitWebView*, void* event, WebKitView* self)
{
    // Ctrl+V in the page takes the same way as paste().
    const auto* key = static_cast<GdkEventKey*>(event);
    const guint modifiers = key->state & gtk_accelerator_get_default_mod_mask();
    if (modifiers == GDK_CONTROL_MASK && (key->keyval == GDK_KEY_v || key->keyval == GDK_KEY_V)) {
        self->paste();
        return TRUE;
    }
    return FALSE;
}

void WebKitView::notifyTitle(WebKitWebView*, void*, WebKitView* self)
{
    Q_EMIT self->titleChanged();
}

void WebKitView::notifyUri(WebKitWebView*, void*, WebKitView* self)
{
    Q_EMIT self->urlChanged();
}

void WebKitView::notifyProgress(WebKitWebView*, void*, WebKitView* self)
{
    self->restartTimeout();
}

int WebKitView::print(WebKitWebView*, void* operation, WebKitView* self)
{
    self->m_engineWindows->print(static_cast<WebKitPrintOperation*>(operation));
    return TRUE;
}

void WebKitView::notifyResponsive(WebKitWebView*, void*, WebKitView* self)
{
    self->updateResponsiveness();
}
