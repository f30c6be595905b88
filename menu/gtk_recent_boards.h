// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recent boards in GTK's recently used files (GtkRecentManager, shared with the desktop). Our
// boards are the entries this application registered, with a board's extension.
#include <gtk/gtk.h>

#include "gobj/handles.h"
#include "menu/recent_boards.h"

namespace menu {

class GtkRecentBoards final : public RecentBoards {
public:
    // `manager` null: the desktop's default list.
    explicit GtkRecentBoards(GtkRecentManager* manager = nullptr);
    ~GtkRecentBoards() override;
    GtkRecentBoards(const GtkRecentBoards&) = delete;
    GtkRecentBoards& operator=(const GtkRecentBoards&) = delete;

    std::vector<std::string> list(std::size_t limit) override;
    void add(const std::string& path) override;
    void clear() override;
    void setChangedObserver(std::function<void()> changed) override;

private:
    gobj::GRef<GtkRecentManager> manager_;
    std::function<void()> changed_;
    gulong handler_ = 0;
};

}  // namespace menu
