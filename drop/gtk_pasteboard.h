// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A drop's or a clipboard's offer, read through GDK: its formats, and its contents read into memory.
#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "drop/pasteboard.h"

namespace drop {

// The drop's formats as MIME types; GTypes offered by drags from this process are named by the
// MIME type they stand for (a file list as text/uri-list, a string as UTF-8 text, a texture as PNG).
std::vector<std::string> dropFormats(GdkContentFormats* formats);

// Reads every kind of content the drop offers (file list, image, plain text, RTF, HTML), one
// after another, and answers once on the main thread with what could be read. The drop is kept
// alive until then; finishing it is the caller's.
void readDrop(GdkDrop* drop, std::function<void(GdkDrop* drop, MemoryPasteboard contents)> done);

// Reads what a clipboard offers that a paste event cannot carry, its file list and its image, and
// answers once on the main thread (with nothing read when it offers neither).
void readClipboardFilesAndImage(GdkClipboard* clipboard, std::function<void(MemoryPasteboard contents)> done);

}  // namespace drop
