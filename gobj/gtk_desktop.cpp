// SPDX-License-Identifier: GPL-3.0-or-later
#include "gobj/gtk_desktop.h"

#include <gtk/gtk.h>

#include <string_view>

namespace gobj {

void GtkDesktop::beep() {
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_beep(display);
}

void GtkDesktop::openUri(const std::string& uri) {
    // Asynchronous, outcome ignored: a desktop without a handler for the type simply does nothing.
    g_app_info_launch_default_for_uri_async(uri.c_str(), nullptr, nullptr, nullptr, nullptr);
}

namespace {

// Types a desktop runs, or hands to a runtime, when told to open them. Subtypes count too.
constexpr const char* kCodeTypes[] = {
    "application/x-desktop",
    "application/x-shellscript",
    "application/x-sh",
    "application/x-csh",
    "application/x-msdownload",
    "application/x-ms-dos-executable",
    "application/x-msi",
    "application/x-ms-shortcut",
    "application/x-bat",
    "application/x-java-archive",
    "application/java-archive",
    "application/x-java",
    "application/x-jar",
    "application/vnd.appimage",
    "application/x-iso9660-appimage",
    "application/x-perl",
    "application/x-ruby",
    "text/x-python",
    "text/x-python3",
    "application/x-python-bytecode",
    "application/x-trash",
    "application/x-flatpak",
    "application/x-flatpakref",
    "application/vnd.flatpak.ref",
    "application/x-deb",
    "application/vnd.debian.binary-package",
};

// Names a desktop may run whatever type their bytes sniff as (a compatibility layer, a launcher).
constexpr const char* kCodeExtensions[] = {".desktop", ".sh",  ".bash", ".run", ".bin",      ".jar", ".exe",
                                           ".com",     ".bat", ".cmd",  ".msi", ".lnk",      ".ps1", ".vbs",
                                           ".py",      ".pl",  ".rb",   ".deb", ".appimage", ".rpm", ".flatpakref"};

bool codeName(const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(g_ascii_tolower(c));
    for (std::string_view ext : kCodeExtensions)
        if (lower.size() > ext.size() && lower.ends_with(ext)) return true;
    return false;
}

bool codeType(const char* type) {
    if (!type) return false;
    for (const char* code : kCodeTypes)
        if (g_content_type_is_a(type, code)) return true;
    // GIO counts every text file as possibly executable, and files JSON under the scripts: text that
    // is no script in the list above opens in an editor, so only binary programs are taken here.
    if (g_content_type_is_a(type, "text/plain")) return false;
    return g_content_type_can_be_executable(type) || g_content_type_is_a(type, "application/x-sharedlib");
}

bool guessedCode(const char* name, const common::Bytes* content) {
    g_autofree char* type =
        g_content_type_guess(name, content ? content->data() : nullptr, content ? content->size() : 0, nullptr);
    return codeType(type);
}

}  // namespace

bool GtkDesktop::launchesCode(const std::string& name, const common::Bytes& content) {
    // The name and the bytes each on their own as well: a program named "notes.txt" is still one,
    // and a launcher stays one whatever it holds.
    return codeName(name) || guessedCode(name.c_str(), &content) || guessedCode(name.c_str(), nullptr) ||
           guessedCode(nullptr, &content);
}

}  // namespace gobj
