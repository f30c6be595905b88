#include "drop/shell_labels.h"

#include <array>
#include <string_view>

namespace drop {
namespace {

struct Row {
    std::string_view language;
    std::array<std::string_view, 3> labels;  // Board, DropArea, MenuBar
};

// The board's name is the page's own title of it.
constexpr Row kRows[] = {
    {"zh-Hans", {"TAVRIK 画板", "拖放区域", "菜单栏"}},
    {"zh-Hant", {"TAVRIK 畫板", "拖放區域", "選單列"}},
    {"en", {"TAVRIK board", "Drop area", "Menu bar"}},
    {"ja", {"TAVRIK ボード", "ドロップ領域", "メニューバー"}},
    {"es", {"Tablero de TAVRIK", "Zona para soltar", "Barra de menús"}},
    {"fr", {"Tableau TAVRIK", "Zone de dépôt", "Barre des menus"}},
    {"de", {"TAVRIK-Board", "Ablagebereich", "Menüleiste"}},
    {"it", {"Lavagna di TAVRIK", "Area di rilascio", "Barra dei menu"}},
    {"pt", {"Quadro do TAVRIK", "Área para soltar", "Barra de menus"}},
    {"ko", {"TAVRIK 보드", "놓기 영역", "메뉴 막대"}},
};

}  // namespace

std::string shellLabel(ShellLabel which, const std::string& language) {
    const Row* english = nullptr;
    for (const auto& row : kRows) {
        if (row.language == language) return std::string(row.labels[static_cast<std::size_t>(which)]);
        if (row.language == "en") english = &row;
    }
    return std::string(english->labels[static_cast<std::size_t>(which)]);
}

}  // namespace drop
