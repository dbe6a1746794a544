#include "WebKitPasteChannel.h"

#include <algorithm>
#include <map>
#include <memory>

#include <QRandomGenerator>

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

namespace {
const char* const ChannelKey = "quillnook-paste-channel";

struct Offer
{
    Offer() { g_weak_ref_init(&view, nullptr); }
    ~Offer() { g_weak_ref_clear(&view); }
    Offer(const Offer&) = delete;
    Offer& operator=(const Offer&) = delete;

    // The only view whose page may ask for it; cleared when that view goes.
    GWeakRef view;
    // The whole offer, shared by its pieces, and this piece of it.
    QByteArray data;
    qsizetype offset = 0;
    qsizetype length = 0;
    QByteArray mimeType;
};

struct Channel
{
    // By the address's path: 32 hex digits from the system's random source.
    std::map<QByteArray, std::unique_ptr<Offer>> offers;
};

using ChannelRef = std::shared_ptr<Channel>;

Channel* channelOf(WebKitWebContext* context)
{
    auto* ref = context ? static_cast<ChannelRef*>(g_object_get_data(G_OBJECT(context), ChannelKey)) : nullptr;
    return ref ? ref->get() : nullptr;
}

QByteArray pathOf(const QByteArray& address)
{
    const QByteArray prefix = QByteArray(WebKitPasteChannel::Scheme).append(':');
    return address.startsWith(prefix) ? address.mid(prefix.size()) : QByteArray();
}

bool belongsTo(Offer& offer, WebKitWebView* view)
{
    GObject* owner = static_cast<GObject*>(g_weak_ref_get(&offer.view));
    if (!owner)
        return false;
    g_object_unref(owner);
    return owner == G_OBJECT(view);
}

void refuse(WebKitURISchemeRequest* request)
{
    // The same answer whatever the reason, so a page learns nothing by asking.
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Nothing is offered here.");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

void answer(WebKitURISchemeRequest* request, Channel& channel)
{
    const char* method = webkit_uri_scheme_request_get_http_method(request);
    const QByteArray path = webkit_uri_scheme_request_get_path(request);
    const auto found = channel.offers.find(path);
    if (found == channel.offers.end() || (method && qstrcmp(method, "GET") != 0)
        || !belongsTo(*found->second, webkit_uri_scheme_request_get_web_view(request))) {
        refuse(request);
        return;
    }
    // Served once: whatever happens next, the address answers no more.
    const std::unique_ptr<Offer> offer = std::move(found->second);
    channel.offers.erase(found);

    // The bytes go to the engine as they are, without a copy.
    auto* held = new QByteArray(std::move(offer->data));
    const gint64 length = offer->length;
    GBytes* bytes = g_bytes_new_with_free_func(
        held->constData() + offer->offset, static_cast<gsize>(length),
        [](gpointer data) { delete static_cast<QByteArray*>(data); }, held);
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    g_bytes_unref(bytes);
    WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, length);
    g_object_unref(stream);
    webkit_uri_scheme_response_set_status(response, 200, "OK");
    webkit_uri_scheme_response_set_content_type(response, offer->mimeType.constData());
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_append(headers, "Cache-Control", "no-store");
    // The page's script reads it across origins: the one asking may.
    SoupMessageHeaders* asked = webkit_uri_scheme_request_get_http_headers(request);
    if (const char* origin = asked ? soup_message_headers_get_one(asked, "Origin") : nullptr)
        soup_message_headers_append(headers, "Access-Control-Allow-Origin", origin);
    webkit_uri_scheme_response_set_http_headers(response, headers);
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
}

// Drops offers whose view has gone.
void sweep(Channel& channel)
{
    for (auto it = channel.offers.begin(); it != channel.offers.end();) {
        GObject* owner = static_cast<GObject*>(g_weak_ref_get(&it->second->view));
        if (owner) {
            g_object_unref(owner);
            ++it;
        } else {
            it = channel.offers.erase(it);
        }
    }
}
} // namespace

void WebKitPasteChannel::install(WebKitWebContext* context)
{
    if (!context || channelOf(context))
        return;
    auto channel = std::make_shared<Channel>();
    g_object_set_data_full(G_OBJECT(context), ChannelKey, new ChannelRef(channel),
                           [](gpointer data) { delete static_cast<ChannelRef*>(data); });
    webkit_web_context_register_uri_scheme(
        context, Scheme,
        [](WebKitURISchemeRequest* request, gpointer data) { answer(request, **static_cast<ChannelRef*>(data)); },
        new ChannelRef(channel), [](gpointer data) { delete static_cast<ChannelRef*>(data); });
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    // Fetched by https pages, which load nothing from insecure places, and
    // across origins, which only a scheme that takes part in CORS allows.
    webkit_security_manager_register_uri_scheme_as_secure(security, Scheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, Scheme);
}

QList<QByteArray> WebKitPasteChannel::offer(WebKitWebView* view, const QByteArray& data, const QByteArray& mimeType)
{
    auto* ref = view
        ? static_cast<ChannelRef*>(g_object_get_data(G_OBJECT(webkit_web_view_get_context(view)), ChannelKey))
        : nullptr;
    if (!ref)
        return {};
    Channel& channel = **ref;
    sweep(channel);
    const qsizetype pieces = std::clamp<qsizetype>(data.size() / MinPieceSize, 1, MaxPieces);
    const qsizetype pieceSize = (data.size() + pieces - 1) / pieces;
    QList<QByteArray> addresses;
    QList<QByteArray> paths;
    qsizetype offset = 0;
    do {
        quint64 random[2];
        QRandomGenerator::system()->fillRange(random);
        QByteArray path = QByteArray::number(random[0], 16).rightJustified(16, '0');
        path.append(QByteArray::number(random[1], 16).rightJustified(16, '0'));
        auto entry = std::make_unique<Offer>();
        g_weak_ref_set(&entry->view, view);
        entry->data = data;
        entry->offset = offset;
        entry->length = std::min(pieceSize, data.size() - offset);
        entry->mimeType = mimeType;
        offset += entry->length;
        channel.offers[path] = std::move(entry);
        addresses.append(QByteArray(Scheme).append(':').append(path));
        paths.append(path);
    } while (offset < data.size());

    // A page that never asks does not keep the bytes alive for long.
    using Expiry = std::pair<std::weak_ptr<Channel>, QList<QByteArray>>;
    g_timeout_add_seconds_full(
        G_PRIORITY_DEFAULT, LifetimeSeconds,
        [](gpointer data) -> gboolean {
            auto* expiry = static_cast<Expiry*>(data);
            if (const ChannelRef channel = expiry->first.lock()) {
                for (const QByteArray& path : expiry->second)
                    channel->offers.erase(path);
            }
            return G_SOURCE_REMOVE;
        },
        new Expiry(*ref, paths), [](gpointer data) { delete static_cast<Expiry*>(data); });
    return addresses;
}

void WebKitPasteChannel::withdraw(WebKitWebView* view, const QByteArray& address)
{
    Channel* channel = view ? channelOf(webkit_web_view_get_context(view)) : nullptr;
    if (!channel)
        return;
    channel->offers.erase(pathOf(address));
    sweep(*channel);
}
