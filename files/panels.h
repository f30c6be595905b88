// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save and open choosers, shown on the main window. Core code asks through this seam; the GTK
// file chooser sits behind it in gtk_panels.cpp, and unit tests answer through a fake.
#include <functional>
#include <optional>
#include <string>

namespace files {

struct SaveChooser {
    std::string suggestedName;
    // The one allowed type, named by a file extension ("json", "png", "csv"); empty allows any type.
    std::string allowedExtension;
    std::string folder;  // where the chooser starts; empty leaves it to the chooser
};

struct OpenChooser {
    std::string allowedExtension;  // files only, one at a time
    std::string folder;            // where the chooser starts; empty leaves it to the chooser
};

// A chosen local path, or nothing when the user cancelled or the choice has no local path.
using PanelAnswer = std::function<void(std::optional<std::string> path)>;

class Panels {
public:
    virtual ~Panels() = default;
    // Both return false, and never answer, when there is no main window to attach to. Otherwise the
    // answer comes once, later, on the main thread.
    virtual bool save(const SaveChooser& chooser, PanelAnswer answer) = 0;
    virtual bool open(const OpenChooser& chooser, PanelAnswer answer) = 0;
};

}  // namespace files
