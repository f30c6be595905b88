#pragma once
// The accessible names of the shell's own widgets, in the interface language, so that a screen
// reader hears what each part of the window is rather than a widget class name.
#include <string>

namespace drop {

enum class ShellLabel { Board, DropArea, MenuBar };

// The label in `language` (one of the ten interface languages), English for any other.
std::string shellLabel(ShellLabel which, const std::string& language);

}  // namespace drop
