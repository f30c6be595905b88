// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/real_page.h"

#include <filesystem>

namespace testsupport {
namespace fs = std::filesystem;

bool loadRealPage(Shell& shell) {
    std::error_code ec;
    fs::copy(fs::path(TAVRIK_SOURCE_DIR) / "html", fs::path(shell.resources().path()) / "html",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) return false;
    g_autofree char* uri = g_filename_to_uri(shell.resources().file("html/index.html").c_str(), nullptr, nullptr);
    webkit_web_view_load_uri(shell.webView(), uri);
    return shell.waitLoaded() && shell.waitFor("window.board && typeof window.__menuAction === 'function'");
}

void recordMessages(Shell& shell) {
    shell.eval(R"JS(
      (() => {
        const h = window.webkit.messageHandlers.canvasBridge;
        if (window.__sent) return;
        window.__sent = [];
        const forward = h.postMessage.bind(h);
        h.postMessage = (m) => { window.__sent.push(JSON.stringify(m)); forward(m); };
      })()
    )JS");
}

std::string lastSent(const std::string& action) {
    return "(window.__sent.map((s) => JSON.parse(s)).filter((m) => m.action === '" + action + "').pop())";
}

}  // namespace testsupport
