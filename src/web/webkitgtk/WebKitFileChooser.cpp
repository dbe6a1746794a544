#include "WebKitFileChooser.h"

#include <QDirIterator>
#include <QFile>
#include <QPointer>

#include "web/WebFileChooser.h"
#include "web/WebView.h"

#include <webkit2/webkit2.h>

namespace {
// Notes, in a world of the program's own, what the file field last clicked
// in the page asks for: whether it wants a folder, and its `accept` list with
// the file name extensions, which the engine's request leaves out.
const char* const MarkerWorld = "quillnook-files";
const char* const FieldWatch = R"JS(addEventListener('click', function (event) {
    var field = event.composedPath ? event.composedPath()[0] : event.target;
    if (field && field.localName === 'input' && field.type === 'file')
        window.quillnookField = {directory: !!field.webkitdirectory, accept: field.accept || ''};
}, true);)JS";
const char* const FieldQuery = R"JS((function () {
    var field = window.quillnookField || {directory: false, accept: ''};
    window.quillnookField = null;
    return field;
})())JS";

QStringList toStringList(const gchar* const* strings)
{
    QStringList list;
    for (; strings && *strings; ++strings)
        list.append(QString::fromUtf8(*strings));
    return list;
}

void readField(JSCValue* field, WebFileChooserRequest& into)
{
    if (!jsc_value_is_object(field))
        return;
    JSCValue* directory = jsc_value_object_get_property(field, "directory");
    into.directory = jsc_value_to_boolean(directory);
    g_object_unref(directory);
    JSCValue* accept = jsc_value_object_get_property(field, "accept");
    char* text = jsc_value_to_string(accept);
    g_object_unref(accept);
    const QStringList entries = QString::fromUtf8(text).split(u',', Qt::SkipEmptyParts);
    g_free(text);
    for (QString entry : entries) {
        entry = entry.trimmed().toLower();
        const QString pattern = u'*' + entry;
        if (entry.startsWith(u'.') && !into.patterns.contains(pattern))
            into.patterns.append(pattern);
        else if (entry.contains(u'/') && !into.mimeTypes.contains(entry))
            into.mimeTypes.append(entry);
    }
}

// The engine hands a chosen folder to the page as one empty file; the page
// asked for the files in it.
QStringList filesIn(const QStringList& folders)
{
    QStringList files;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
    }
    files.sort();
    return files;
}

void readFilter(WebKitFileChooserRequest* request, WebFileChooserRequest& into)
{
    into.mimeTypes = toStringList(webkit_file_chooser_request_get_mime_types(request));
    // The filter also carries `accept`'s file name extensions, as patterns.
    GtkFileFilter* filter = webkit_file_chooser_request_get_mime_types_filter(request);
    if (!filter)
        return;
    // Serialising a filter needs a name, which the engine's has not.
    if (!gtk_file_filter_get_name(filter))
        gtk_file_filter_set_name(filter, "");
    GVariant* rules = gtk_file_filter_to_gvariant(filter);
    GVariant* list = g_variant_get_child_value(rules, 1);
    GVariantIter iter;
    g_variant_iter_init(&iter, list);
    guint32 kind = 0;
    const gchar* text = nullptr;
    while (g_variant_iter_next(&iter, "(u&s)", &kind, &text)) {
        const QString rule = QString::fromUtf8(text);
        // 0: a glob pattern, 1: a MIME type.
        if (kind == 0 && !into.patterns.contains(rule))
            into.patterns.append(rule);
        else if (kind == 1 && !into.mimeTypes.contains(rule))
            into.mimeTypes.append(rule);
    }
    g_variant_unref(list);
    g_variant_unref(rules);
}
} // namespace

// A request the page waits on; the first answer ends it.
struct WebKitFileChooser::Pending
{
    WebKitFileChooserRequest* request;

    explicit Pending(WebKitFileChooserRequest* r)
        : request(WEBKIT_FILE_CHOOSER_REQUEST(g_object_ref(r)))
    { }
    ~Pending() { answer(std::nullopt); }

    void answer(const std::optional<QStringList>& files)
    {
        if (!request)
            return;
        if (files && !files->isEmpty()) {
            std::vector<QByteArray> paths;
            for (const QString& file : *files)
                paths.push_back(QFile::encodeName(file));
            std::vector<const gchar*> list;
            for (const QByteArray& path : paths)
                list.push_back(path.constData());
            list.push_back(nullptr);
            webkit_file_chooser_request_select_files(request, list.data());
        } else {
            webkit_file_chooser_request_cancel(request);
        }
        g_object_unref(request);
        request = nullptr;
    }
};

WebKitFileChooser::WebKitFileChooser(WebKitWebView* webView, WebView& view)
    : m_webView(webView)
    , m_view(view)
{
    WebKitUserScript* script
        = webkit_user_script_new_for_world(FieldWatch, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                           WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, MarkerWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(webView), script);
    webkit_user_script_unref(script);
    g_signal_connect(webView, "run-file-chooser", G_CALLBACK(runFileChooser), this);
}

WebKitFileChooser::~WebKitFileChooser()
{
    g_signal_handlers_disconnect_by_data(m_webView, this);
    for (const auto& pending : m_pending)
        pending->answer(std::nullopt);
}

void WebKitFileChooser::run(WebKitFileChooserRequest* request)
{
    m_pending.remove_if([](const auto& open) { return !open->request; });
    auto pending = std::make_shared<Pending>(request);
    m_pending.push_back(pending);
    WebFileChooserRequest asked;
    asked.multiple = webkit_file_chooser_request_get_select_multiple(request);
    readFilter(request, asked);
    asked.selected = toStringList(webkit_file_chooser_request_get_selected_files(request));

    // Whether it is a folder the field wants comes from the page, first.
    struct Query
    {
        QPointer<WebKitFileChooser> chooser;
        std::shared_ptr<Pending> pending;
        WebFileChooserRequest asked;
    };
    const QByteArray query(FieldQuery);
    webkit_web_view_evaluate_javascript(
        m_webView, query.constData(), query.size(), MarkerWorld, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Query> held(static_cast<Query*>(data));
            if (JSCValue* value
                = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
                readField(value, held->asked);
                g_object_unref(value);
            }
            WebKitFileChooser* chooser = held->chooser;
            WebFileChooser* dialog = chooser ? chooser->m_view.fileChooser() : nullptr;
            if (!dialog || !held->pending->request) {
                held->pending->answer(std::nullopt);
                return;
            }
            std::weak_ptr<Pending> weak = held->pending;
            const bool directory = held->asked.directory;
            dialog->webViewRunFileChooser(chooser->m_view, held->asked,
                                          [weak, directory](std::optional<QStringList> files) {
                                              if (auto open = weak.lock())
                                                  open->answer(directory && files ? filesIn(*files) : files);
                                          });
        },
        new Query {this, pending, asked});
}

int WebKitFileChooser::runFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, WebKitFileChooser* self)
{
    self->run(request);
    return TRUE;
}
