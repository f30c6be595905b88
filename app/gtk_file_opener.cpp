// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gtk_file_opener.h"

#include <string>
#include <vector>

namespace app {

void FileOpener::onOpen(GApplication*, GFile** files, gint count, const gchar*, gpointer self) noexcept {
    std::vector<std::string> paths;
    for (gint i = 0; i < count; ++i) {
        g_autofree char* path = g_file_get_path(files[i]);
        if (path) {
            paths.emplace_back(path);
        } else {
            g_autofree char* uri = g_file_get_uri(files[i]);
            paths.emplace_back(uri ? uri : "");
        }
    }
    static_cast<FileOpener*>(self)->app_.open(std::move(paths));
}

}  // namespace app
