// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The render helper's file-system confinement where the kernel has no Landlock: a user, mount and
// network namespace of its own whose root is an empty tmpfs holding read-only binds of what
// drawing reads. Entered after exec, once the helper's libraries are loaded, so that the new root
// needs no program or library folder.
#include <string>
#include <vector>

namespace files::sandbox {

// Moves the calling process into the new namespaces and root. Paths this system does not have,
// or that cannot be bound read-only, are left out (fewer fonts, never more access). False when
// the namespaces or the new root could not be made: the process is then not confined by it, and
// may already be in a half-made namespace, so it must not go on to parse anything.
bool enterEmptyRoot(const std::vector<std::string>& readable);

}  // namespace files::sandbox
