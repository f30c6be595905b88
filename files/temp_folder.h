// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where files the page opens in other applications are written: a folder only this user can
// reach, so another account can neither read the files nor plant a link in their place.
#include <optional>
#include <string>

namespace files {

// $XDG_RUNTIME_DIR when set; else a per-user folder under the system temporary directory, made
// 0700 and accepted only when it is a real folder (not a link) owned by us and closed to others.
std::optional<std::string> privateTempRoot();

// privateTempRoot() + "/QuillmarshFiles", created on demand; nothing when it cannot be had.
std::optional<std::string> openedFilesFolder();

// The last path component of a page-supplied name; "", "." and ".." (and names that cannot be
// a file name) become "file".
std::string openedFileName(const std::string& name);

// file:// URI of an absolute path, percent-encoded.
std::string fileUri(const std::string& path);

}  // namespace files
