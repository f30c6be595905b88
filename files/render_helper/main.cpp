// SPDX-License-Identifier: GPL-3.0-or-later
// The render helper: a small process of its own so that a crafted PDF can only take this process
// down, and so that it starts in milliseconds (it links poppler, cairo and libjpeg, not the GUI).
#include "files/render_worker.h"

int main(int argc, char** argv) { return files::renderWorkerMain(argc, argv); }
