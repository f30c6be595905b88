// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gtk_color_scheme.h"

namespace app {
namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettings = "org.freedesktop.portal.Settings";

// The portal's color-scheme: 1 prefers dark, 2 prefers light, 0 has no preference.
void apply(guint32 scheme) {
    GtkSettings* settings = gtk_settings_get_default();
    if (!settings) return;
    // No preference leaves GTK's own setting (from its settings file or theme) as it is.
    if (scheme == 1 || scheme == 2)
        g_object_set(settings, "gtk-application-prefer-dark-theme", scheme == 1 ? TRUE : FALSE, nullptr);
}

// The value arrives as v (Read) or as v inside v (older portals answer Read that way).
void applyVariant(GVariant* value) {
    g_autoptr(GVariant) inner = g_variant_ref(value);
    while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
        GVariant* next = g_variant_get_variant(inner);
        g_variant_unref(inner);
        inner = next;
    }
    if (g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32)) apply(g_variant_get_uint32(inner));
}

guint32 gnomeScheme(GSettings* settings) {
    g_autofree char* v = g_settings_get_string(settings, "color-scheme");
    return g_strcmp0(v, "prefer-dark") == 0 ? 1 : g_strcmp0(v, "prefer-light") == 0 ? 2 : 0;
}

// Without a portal, GNOME's own key, when its schema is installed.
void readGSettings() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return;
    g_autoptr(GSettingsSchema) schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (!schema || !g_settings_schema_has_key(schema, "color-scheme")) return;
    // Kept for the life of the process so that changes keep arriving.
    static GSettings* interface = g_settings_new("org.gnome.desktop.interface");
    apply(gnomeScheme(interface));
    g_signal_connect(interface, "changed::color-scheme",
                     G_CALLBACK(+[](GSettings* s, const char*, gpointer) noexcept { apply(gnomeScheme(s)); }), nullptr);
}

void onSettingChanged(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* params,
                      gpointer) noexcept {
    const char* ns = nullptr;
    const char* key = nullptr;
    g_autoptr(GVariant) value = nullptr;
    if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(ssv)"))) return;
    g_variant_get(params, "(&s&sv)", &ns, &key, &value);
    if (g_strcmp0(ns, "org.freedesktop.appearance") == 0 && g_strcmp0(key, "color-scheme") == 0) applyVariant(value);
}

}  // namespace

void followColorScheme() {
    GDBusConnection* bus =
        g_application_get_default() ? g_application_get_dbus_connection(g_application_get_default()) : nullptr;
    if (!bus) {
        readGSettings();
        return;
    }
    g_dbus_connection_signal_subscribe(bus, kPortal, kSettings, "SettingChanged", kPortalPath, nullptr,
                                       G_DBUS_SIGNAL_FLAGS_NONE, onSettingChanged, nullptr, nullptr);
    // Never starts a portal: one that cannot reach a desktop blocks for many seconds.
    g_dbus_connection_call(
        bus, kPortal, kPortalPath, kSettings, "Read",
        g_variant_new("(ss)", "org.freedesktop.appearance", "color-scheme"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer) noexcept {
            g_autoptr(GError) error = nullptr;
            g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            if (!reply) {
                readGSettings();
                return;
            }
            g_autoptr(GVariant) value = g_variant_get_child_value(reply, 0);
            applyVariant(value);
        },
        nullptr);
}

}  // namespace app
