// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A FileExchange wired to a panel fake, the real bridge on a recording page, a recording desktop
// and real workers whose completions wait in a main queue the test drains.
#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "bridge/bridge.h"
#include "common/base64.h"
#include "common/quit_holds.h"
#include "fakes/fakes.h"
#include "files/file_exchange.h"
#include "files/panels.h"

namespace filestest {

// Shows nothing; remembers each chooser and answers only when the test says so.
class FakePanels final : public files::Panels {
public:
    struct Shown {
        bool save = true;
        std::string suggestedName, allowedExtension;
        files::PanelAnswer answer;
        std::string folder;
    };
    bool hasWindow = true;
    std::deque<Shown> shown;

    bool save(const files::SaveChooser& c, files::PanelAnswer a) override {
        if (!hasWindow) return false;
        shown.push_back({true, c.suggestedName, c.allowedExtension, std::move(a), c.folder});
        return true;
    }
    bool open(const files::OpenChooser& c, files::PanelAnswer a) override {
        if (!hasWindow) return false;
        shown.push_back({false, "", c.allowedExtension, std::move(a), c.folder});
        return true;
    }
    // Answers the oldest chooser still waiting: a path, or nothing for cancel.
    void answerNext(std::optional<std::string> path) {
        ASSERT_FALSE(shown.empty());
        auto answer = std::move(shown.front().answer);
        shown.pop_front();
        answer(std::move(path));
    }
};

struct Fixture {
    fakes::ManualQueue queue;
    std::shared_ptr<fakes::RecordingPage> page = std::make_shared<fakes::RecordingPage>();
    std::shared_ptr<bridge::Bridge> bridge = std::make_shared<bridge::Bridge>(queue, page);
    std::shared_ptr<FakePanels> panels = std::make_shared<FakePanels>();
    fakes::RecordingDesktop desktop;
    common::Workers workers{queue, 2};
    std::shared_ptr<files::FileExchange> exchange =
        std::make_shared<files::FileExchange>(panels, bridge, desktop, workers);

    // Runs main-queue tasks until done() holds; worker completions wake it as they arrive.
    bool settle(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return queue.runUntil(done, limit);
    }
    // Runs main-queue tasks until every save has reported (files are written on a worker).
    bool saved() {
        return settle([&] { return exchange->savesInProgress() == 0; });
    }
    // Runs what is queued now; for checks that nothing happened.
    void flush() { queue.runAll(); }
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

inline std::string dataUrl(const common::Bytes& b, const char* mime = "image/png") {
    return std::string("data:") + mime + ";base64," + common::base64::encode(b);
}

// A solid image of the given size, encoded by a real encoder.
inline common::Bytes pngImage(int w, int h, double r = 1, double g = 0, double b = 0) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    common::Bytes out;
    cairo_surface_write_to_png_stream(
        s,
        [](void* c, const unsigned char* d, unsigned int n) noexcept {
            auto* o = static_cast<common::Bytes*>(c);
            o->insert(o->end(), d, d + n);
            return CAIRO_STATUS_SUCCESS;
        },
        &out);
    cairo_surface_destroy(s);
    return out;
}

inline common::Bytes jpegImage(int w, int h, guint32 rgba = 0x2060c0ff) {
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
    gdk_pixbuf_fill(pb, rgba);
    gchar* buf = nullptr;
    gsize len = 0;
    gdk_pixbuf_save_to_buffer(pb, &buf, &len, "jpeg", nullptr, "quality", "90", nullptr);
    common::Bytes out(buf, buf + len);
    g_free(buf);
    g_object_unref(pb);
    return out;
}

}  // namespace filestest
