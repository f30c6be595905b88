// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtk/gtk.h>

#include "bridge/commands.h"

namespace bridge {

// The bridge's `window()`: the first of the application's windows whose child is the drop-catching
// view or a web view. Null when none qualifies.
GtkWindow* findParentWindow(GtkApplication* app);

class GtkParentWindow final : public ParentWindow {
public:
    explicit GtkParentWindow(GtkApplication* app) : app_(app) {}
    bool exists() override { return findParentWindow(app_) != nullptr; }
    void setTitle(const std::string& title) override;

private:
    GtkApplication* app_;  // the application outlives every Part
};

}  // namespace bridge
