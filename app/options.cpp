// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/options.h"

namespace app {

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    bool onlyFiles = false;  // after "--" everything names a file, even "-x"
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyFiles || a.empty() || a == "-" || a[0] != '-') {
            o.files.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyFiles = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            o.mode = Options::Mode::Help;
            return o;
        }
        if (a == "--version") {
            o.mode = Options::Mode::Version;
            return o;
        }
        if (a == "--inspector") {
            o.inspector = true;
        } else if (a == "--watch") {
            o.watch = true;
        } else if (a == "--resources") {
            if (i + 1 >= args.size()) {
                o.mode = Options::Mode::Error;
                o.error = "--resources needs a folder";
                return o;
            }
            o.resources = args[++i];
        } else if (a.rfind("--resources=", 0) == 0) {
            o.resources = a.substr(12);
        } else {
            o.mode = Options::Mode::Error;
            o.error = "unknown option " + a;
            return o;
        }
    }
    return o;
}

std::string helpText(const std::string& program) {
    return "Usage: " + program +
           " [OPTION…] [FILE…]\n"
           "A canvas board for images, notes and AI services.\n"
           "Opens each FILE given (a saved board, or a PDF as template pages); when the application\n"
           "is already running, the files open in its window.\n\n"
           "  --resources DIR   load the page from DIR/html/index.html instead of the installed one\n"
           "  --inspector       enable WebKit's developer tools (right-click › Inspect Element)\n"
           "  --watch           reload the page when a file in its html folder changes\n"
           "  --version         print the version and exit\n"
           "  -h, --help        print this help and exit\n";
}

}  // namespace app
