// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Secret Service of the private test session, for tests and benchmarks that pause the keyring.
#include <gio/gio.h>
#include <sys/types.h>

namespace testsupport {

// The process that owns the Secret Service name on this session bus, or 0.
inline pid_t secretServicePid() {
    g_autoptr(GError) error = nullptr;
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) return 0;
    g_autoptr(GVariant) answer =
        g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "GetConnectionUnixProcessID", g_variant_new("(s)", "org.freedesktop.secrets"),
                                    G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (!answer) return 0;
    guint32 pid = 0;
    g_variant_get(answer, "(u)", &pid);
    return static_cast<pid_t>(pid);
}

}  // namespace testsupport
