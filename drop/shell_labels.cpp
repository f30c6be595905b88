// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/shell_labels.h"

namespace drop {

const char* shellLabelKey(ShellLabel which) {
    switch (which) {
        case ShellLabel::Board:
            return "TAVRIK 画板";  // the page's own title of the board
        case ShellLabel::DropArea:
            return "拖放区域";
        case ShellLabel::MenuBar:
            return "菜单栏";
    }
    return "";
}

}  // namespace drop
