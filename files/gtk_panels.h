// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtk/gtk.h>

#include <string>

#include "files/panels.h"

namespace files {

// GtkFileChooserNative (the desktop portal where there is one, GTK's own dialog otherwise), modal
// and transient for the main window that bridge::findParentWindow finds.
class GtkPanels final : public Panels {
public:
    explicit GtkPanels(GtkApplication* app) : app_(app) {}
    bool save(const SaveChooser& chooser, PanelAnswer answer) override;
    bool open(const OpenChooser& chooser, PanelAnswer answer) override;

private:
    bool show(GtkFileChooserAction action, const std::string& suggestedName, const std::string& extension,
              const std::string& folder, PanelAnswer answer);

    GtkApplication* app_;  // the application outlives every Part
};

// Where choosers start the first time: the user's documents folder, or home.
std::string documentsFolder();

// A filter for the content type GIO associates with an extension; null when it knows none
// (the chooser then allows every file, as for generic data).
GtkFileFilter* filterForExtension(const std::string& extension);

}  // namespace files
