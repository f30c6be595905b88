// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace app {

struct Options {
    enum class Mode { Run, Help, Version, Error } mode = Mode::Run;
    std::optional<std::string> resources;  // --resources DIR: a folder holding html/index.html
    bool inspector = false;                // --inspector: WebKit's developer tools
    bool watch = false;                    // --watch: reload the page when a file under html/ changes
    std::string error;                     // for Mode::Error
    std::vector<std::string> files;        // boards or PDFs to open, as given
};

Options parseOptions(const std::vector<std::string>& args);  // args without the program name
std::string helpText(const std::string& program);

}  // namespace app
