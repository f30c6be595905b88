// SPDX-License-Identifier: GPL-3.0-or-later
#include <map>

#include "common/paths.h"
#include "common/text.h"
#include "menu/recent_boards.h"

namespace menu {

std::vector<std::string> recentTitles(const std::vector<std::string>& paths) {
    std::map<std::string, int> uses;
    for (const auto& path : paths) ++uses[common::paths::lastComponent(path)];
    std::vector<std::string> titles;
    for (const auto& path : paths) {
        std::string name = common::paths::lastComponent(path);
        if (uses[name] > 1) {
            std::string folder = common::paths::lastComponent(path.substr(0, path.size() - name.size() - 1));
            if (!folder.empty()) name += " — " + folder;
        }
        titles.push_back(common::displayName(name));
    }
    return titles;
}

}  // namespace menu
