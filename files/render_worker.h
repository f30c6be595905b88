// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace files {

// The render helper process: limits itself, reads a PDF on standard input, writes the frames of
// render_wire.h on standard output. argv as main() received it. Returns the exit status.
int renderWorkerMain(int argc, char** argv);

}  // namespace files
