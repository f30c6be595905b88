// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real application in a process of its own, as a user starts it: on a page of the test's and
// XDG folders of its own, with its standard error kept in a file for the test to read.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/gtk_support.h"

namespace testsupport {

class AppProcess {
public:
    using Clock = std::chrono::steady_clock;

    // `home` holds the XDG folders (created here); env entries "NAME=value" come on top.
    AppProcess(const TempDir& resources, const TempDir& home, std::vector<std::string> env = {})
        : errPath_(home.file("stderr")) {
        namespace fs = std::filesystem;
        for (const char* sub : {"config", "data", "runtime"}) fs::create_directories(home.file(sub));
        fs::permissions(home.file("runtime"), fs::perms::owner_all, fs::perm_options::replace);
        env.insert(env.begin(), {"XDG_CONFIG_HOME=" + home.file("config"), "XDG_DATA_HOME=" + home.file("data"),
                                 "XDG_RUNTIME_DIR=" + home.file("runtime")});
        // exec keeps the shell's pid: signals reach the application itself.
        program_ =
            std::make_unique<Program>(std::vector<std::string>{"bash", "-c", R"(exec "$0" --resources "$1" 2>"$2")",
                                                               TAVRIK_BINARY, resources.path(), errPath_},
                                      env);
    }

    bool started() const { return program_->started(); }
    bool exited() const { return program_->exited(); }
    // Exited with status 0.
    bool succeeded() const { return program_->succeeded(); }

    // Sends `sig` and waits for the exit; how long it took, or nothing when it did not end within
    // `limit` (the process is then killed when this object goes).
    std::optional<std::chrono::milliseconds> endWith(int sig, std::chrono::milliseconds limit) {
        auto asked = Clock::now();
        program_->signal(sig);
        if (!program_->waitExit(limit)) return std::nullopt;
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
    }

    std::string errors() const {
        std::ifstream in(errPath_);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string errPath_;
    std::unique_ptr<Program> program_;
};

}  // namespace testsupport
