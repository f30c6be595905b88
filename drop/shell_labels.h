// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The accessible names of the shell's own widgets, so that a screen reader hears what each part of
// the window is rather than a widget class name. Keyed like every native text by its Simplified
// Chinese form; the interface language's table gives the name shown.
namespace drop {

enum class ShellLabel { Board, DropArea, MenuBar };

const char* shellLabelKey(ShellLabel which);

}  // namespace drop
