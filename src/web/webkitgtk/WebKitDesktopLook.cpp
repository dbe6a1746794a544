#include "WebKitDesktopLook.h"

#include <QLocale>
#include <QStringList>

#include <webkit2/webkit2.h>

namespace {
const char* const PortalName = "org.freedesktop.portal.Desktop";
const char* const PortalPath = "/org/freedesktop/portal/desktop";
const char* const SettingsInterface = "org.freedesktop.portal.Settings";
const char* const Namespace = "org.freedesktop.appearance";
const char* const Key = "color-scheme";

// 0: no preference, 1: dark, 2: light. The engine reads GTK's dark-theme
// preference (and the theme's name) to answer prefers-color-scheme.
void apply(GVariant* value)
{
    // Read wraps the value in one variant more than ReadOne does.
    GVariant* inner = g_variant_ref(value);
    while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
        GVariant* next = g_variant_get_variant(inner);
        g_variant_unref(inner);
        inner = next;
    }
    if (g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32)) {
        const gboolean dark = g_variant_get_uint32(inner) == 1;
        GtkSettings* settings = gtk_settings_get_default();
        gboolean now = FALSE;
        g_object_get(settings, "gtk-application-prefer-dark-theme", &now, nullptr);
        // Every change restyles every GTK widget; an unchanged value is left be.
        if (settings && bool(now) != bool(dark))
            g_object_set(settings, "gtk-application-prefer-dark-theme", dark, nullptr);
    }
    g_variant_unref(inner);
}

void read(GDBusConnection* bus, const char* method);

void answered(GObject* source, GAsyncResult* result, gpointer data)
{
    const bool readOne = GPOINTER_TO_INT(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) {
        // An older portal has only Read; none at all leaves the theme to decide.
        const bool unknownMethod = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD);
        g_error_free(error);
        if (readOne && unknownMethod)
            read(G_DBUS_CONNECTION(source), "Read");
        return;
    }
    GVariant* value = g_variant_get_child_value(reply, 0);
    apply(value);
    g_variant_unref(value);
    g_variant_unref(reply);
}

void read(GDBusConnection* bus, const char* method)
{
    g_dbus_connection_call(bus, PortalName, PortalPath, SettingsInterface, method,
                           g_variant_new("(ss)", Namespace, Key), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000,
                           nullptr, answered, GINT_TO_POINTER(qstrcmp(method, "ReadOne") == 0));
}

void changed(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters, gpointer)
{
    const gchar* ns = nullptr;
    const gchar* key = nullptr;
    GVariant* value = nullptr;
    g_variant_get(parameters, "(&s&sv)", &ns, &key, &value);
    if (qstrcmp(ns, Namespace) == 0 && qstrcmp(key, Key) == 0)
        apply(value);
    g_variant_unref(value);
}
} // namespace

void WebKitDesktopLook::followColorScheme()
{
    static bool following = false;
    if (following)
        return;
    following = true;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return;
    // Kept for the whole run, as is the bus.
    if (g_dbus_connection_get_flags(bus) & G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION) {
        g_dbus_connection_signal_subscribe(bus, nullptr, SettingsInterface, "SettingChanged", PortalPath, Namespace,
                                           G_DBUS_SIGNAL_FLAGS_NONE, changed, nullptr, nullptr);
        // Read whenever the portal is (or comes) up; never started for this.
        g_bus_watch_name_on_connection(
            bus, PortalName, G_BUS_NAME_WATCHER_FLAGS_NONE,
            [](GDBusConnection* connection, const gchar*, const gchar*, gpointer) { read(connection, "ReadOne"); },
            nullptr, nullptr, nullptr);
    }
}

void WebKitDesktopLook::enableSpellChecking(WebKitWebContext* context)
{
    QStringList languages;
    for (QString language : QLocale::system().uiLanguages()) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        if (language != QLatin1String("C") && !languages.contains(language))
            languages.append(language);
    }
    if (languages.isEmpty())
        languages.append(QStringLiteral("en_US"));
    QList<QByteArray> utf8;
    std::vector<const gchar*> list;
    for (const QString& language : std::as_const(languages))
        utf8.append(language.toUtf8());
    for (const QByteArray& language : std::as_const(utf8))
        list.push_back(language.constData());
    list.push_back(nullptr);
    webkit_web_context_set_spell_checking_enabled(context, TRUE);
    // Languages without a dictionary are left out by the engine.
    webkit_web_context_set_spell_checking_languages(context, list.data());
}
