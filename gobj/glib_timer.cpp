// SPDX-License-Identifier: GPL-3.0-or-later
#include "gobj/glib_timer.h"

#include <glib.h>

namespace gobj {

void runAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    using Task = std::function<void()>;
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()),
        [](gpointer data) noexcept -> gboolean {
            (*static_cast<Task*>(data))();
            return G_SOURCE_REMOVE;
        },
        new Task(std::move(task)), [](gpointer data) noexcept { delete static_cast<Task*>(data); });
}

}  // namespace gobj
