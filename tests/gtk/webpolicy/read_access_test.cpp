// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

#include "gobj/handles.h"
#include "support/gtk_support.h"
#include "webpolicy/webkit_read_access.h"

namespace {

// One probe per subresource kind: resolves true when the URL loaded, false when it was refused.
// Frames and workers prove themselves by a message; their absence is taken after a short wait.
constexpr const char* kProbePage = R"(<!doctype html><meta charset="utf-8"><title>probe</title>
<script>
function probe(kind, url) {
  return new Promise(done => {
    const el = (tag, attrs) => { const e = document.createElement(tag); Object.assign(e, attrs);
                                 e.onload = () => done(true); e.onerror = () => done(false); return e; };
    switch (kind) {
    case 'image': el('img', {src: url}); break;
    case 'script': document.head.appendChild(el('script', {src: url})); break;
    case 'style': document.head.appendChild(el('link', {rel: 'stylesheet', href: url})); break;
    case 'font': new FontFace('f' + Math.random().toString(36).slice(2), `url(${url})`).load()
                   .then(() => done(true), () => done(false)); break;
    case 'media': { const a = document.createElement('audio'); a.preload = 'auto';
                    a.onloadedmetadata = () => done(true); a.onerror = () => done(false); a.src = url; break; }
    case 'fetch': fetch(url).then(r => r.text()).then(t => done(t.length > 0), () => done(false)); break;
    case 'xhr': { const x = new XMLHttpRequest(); x.onload = () => done(x.responseText.length > 0);
                  x.onerror = () => done(false); try { x.open('GET', url); x.send(); } catch (e) { done(false); } break; }
    case 'frame': { const f = document.createElement('iframe'), href = new URL(url, location.href).href;
                    addEventListener('message', e => { if (e.data === 'frame ' + href) done(true); });
                    setTimeout(() => done(false), 2000); f.src = url; document.body.appendChild(f); break; }
    case 'module': import(new URL(url, location.href).href).then(() => done(true), () => done(false)); break;
    case 'worker': { try { const w = new Worker(url); w.onmessage = () => done(true); w.onerror = () => done(false); }
                     catch (e) { done(false); } setTimeout(() => done(false), 2000); break; }
    }
  });
}
</script>)";

enum class Inside { Loads, Refused, Either };

struct Kind {
    const char* name;
    const char* file;
    // Audio loads only where a media backend is at hand. (File URLs may reach each other, so that
    // the page's ES modules load: fetch, XHR and workers read the folder's files too.) Outside the
    // folder, every kind must be refused.
    Inside inside = Inside::Loads;
};

TEST(ReadAccess, PageLoadsSubresourcesOnlyFromItsFolder) {
    testsupport::Shell shell(kProbePage);
    const auto& res = shell.resources();
    std::string font;
    g_autofree char* fontBytes = nullptr;
    gsize fontLength = 0;
    ASSERT_TRUE(
        g_file_get_contents("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", &fontBytes, &fontLength, nullptr));
    font.assign(fontBytes, fontLength);
    gsize pngLength = 0;
    g_autofree guchar* pngBytes = g_base64_decode(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==", &pngLength);
    // 0.1 s of 8 kHz silence.
    std::string wav(
        "RIFF\x44\x03\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0data\x20\x03\0\0", 44);
    wav.append(800, '\x80');

    const std::vector<Kind> kinds = {
        {"image", "x.png"}, {"script", "x.js"},  {"style", "x.css"},
        {"font", "x.ttf"},  {"frame", "x.html"}, {"media", "x.wav", Inside::Either},
        {"fetch", "x.txt"}, {"xhr", "x.txt"},    {"worker", "w.js"},
        {"module", "m.js"},
    };
    // The same files inside the folder, beside it, and in a sibling folder whose name starts with "html".
    for (const std::string folder : {"html/in/", "out/", "html2/"}) {
        res.write(folder + "x.png", std::string(reinterpret_cast<char*>(pngBytes), pngLength));
        res.write(folder + "x.js", "void 0;");
        res.write(folder + "x.css", "body { }");
        res.write(folder + "x.ttf", font);
        res.write(folder + "x.wav", wav);
        res.write(folder + "x.txt", "text");
        res.write(folder + "w.js", "postMessage('up');");
        res.write(folder + "m.js", "export default 1;");
        res.write(folder + "x.html", "<script>parent.postMessage('frame ' + location.href, '*')</script>");
    }
    ASSERT_TRUE(shell.waitLoaded());

    std::string outside = "file://" + res.path() + "/out/";
    // url → whether it must load
    const std::vector<std::pair<std::string, bool>> places = {
        {"in/", true},          {"../out/", false},   {"%2e%2e/out/", false},
        {"%2E%2E/out/", false}, {"..%2fout/", false}, {"in%2f..%2f..%2fout/", false},
        {"../html2/", false},   {outside, false},     {"file://" + res.path() + "/html/in/", true},
    };
    std::map<std::string, std::string> expected;  // probe → "true", "false" or "either"
    std::string script = "window.results = {}; Promise.all([";
    for (const auto& kind : kinds) {
        for (const auto& [place, loads] : places) {
            std::string url = place + kind.file;
            std::string key = std::string(kind.name) + " " + url;
            expected[key] = !loads || kind.inside == Inside::Refused ? "false"
                            : kind.inside == Inside::Loads           ? "true"
                                                                     : "either";
            script += "probe('" + std::string(kind.name) + "', '" + url + "').then(ok => window.results['" + key +
                      "'] = ok),";
        }
    }
    script += "]).then(() => window.probed = true); 0";
    shell.eval(script);
    ASSERT_TRUE(shell.waitFor("window.probed === true", std::chrono::seconds(30)));

    for (const auto& [key, want] : expected) {
        auto got = shell.eval("String(window.results['" + key + "'])");
        if (want != "either") {
            EXPECT_EQ(got, want) << key;
        }
    }
    // The page itself is still the start page: nothing above replaced it.
    EXPECT_EQ(shell.eval("document.title"), "probe");
}

}  // namespace

namespace {

// A resources folder may be named anything: the rules still compile, and the page in it still
// reads its own folder and nothing beside it.
TEST(ReadAccess, RulesHoldForFolderNamesWithPatternCharacters) {
    testsupport::TempDir base;
    const std::string resources = base.file("my (board)+[v2]{1} $^.|?*\\ é #%41");
    base.write("my (board)+[v2]{1} $^.|?*\\ é #%41/html/index.html", R"(<!doctype html><title>odd</title><script>
      const probe = src => new Promise(done => { const i = new Image(); i.onload = () => done(true);
                                                  i.onerror = () => done(false); i.src = src; });
      Promise.all([probe('in.png'), probe('../beside.png')]).then(r => { document.title = r.join(' '); });
    </script>)");
    gsize pngLength = 0;
    g_autofree guchar* png = g_base64_decode(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAAABJRU5ErkJggg==",
        &pngLength);
    const std::string pngText(reinterpret_cast<char*>(png), pngLength);
    base.write("my (board)+[v2]{1} $^.|?*\\ é #%41/html/in.png", pngText);
    base.write("my (board)+[v2]{1} $^.|?*\\ é #%41/beside.png", pngText);

    auto manager = gobj::adopt(webkit_user_content_manager_new());
    std::optional<bool> confined;
    webpolicy::confineToHtmlFolder(manager.get(), resources, [&](bool ok, const std::string&) { confined = ok; });
    ASSERT_TRUE(testsupport::runUntil([&] { return confined.has_value(); }));
    ASSERT_TRUE(*confined);

    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager.get(), nullptr));
    g_object_ref_sink(view);
    g_autofree char* uri = g_filename_to_uri((resources + "/html/index.html").c_str(), nullptr, nullptr);
    webkit_web_view_load_uri(view, uri);
    EXPECT_TRUE(testsupport::runUntil([&] {
        const char* title = webkit_web_view_get_title(view);
        return title && std::string(title).find(' ') != std::string::npos && std::string(title) != "odd";
    })) << (webkit_web_view_get_title(view) ? webkit_web_view_get_title(view) : "");
    EXPECT_STREQ(webkit_web_view_get_title(view), "true false");
    g_object_unref(view);
}

// A link in the page's folder that leads outside would let it read there, whatever the rules say:
// such a page is not loaded. A link that stays inside is read like any file.
TEST(ReadAccess, LinksLeadingOutsideKeepThePageUnloaded) {
    gsize pngLength = 0;
    g_autofree guchar* png = g_base64_decode(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==", &pngLength);
    const std::string pngText(reinterpret_cast<char*>(png), pngLength);
    for (bool leaving : {false, true}) {
        SCOPED_TRACE(leaving ? "link outside" : "link inside");
        testsupport::TempDir base;
        base.write("res/html/index.html", R"(<!doctype html><title>linked</title><script>
          const i = new Image(); i.onload = () => document.title = 'loaded';
          i.onerror = () => document.title = 'refused'; i.src = 'pic.png';
        </script>)");
        base.write("res/html/img/in.png", pngText);
        base.write("res/out.png", pngText);
        std::filesystem::create_symlink(leaving ? "../out.png" : "img/in.png", base.file("res/html/pic.png"));

        auto manager = gobj::adopt(webkit_user_content_manager_new());
        std::optional<bool> confined;
        webpolicy::confineToHtmlFolder(manager.get(), base.file("res"),
                                       [&](bool ok, const std::string&) { confined = ok; });
        ASSERT_TRUE(testsupport::runUntil([&] { return confined.has_value(); }));
        EXPECT_EQ(*confined, !leaving);
        if (leaving) continue;
        auto* view =
            WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager.get(), nullptr));
        g_object_ref_sink(view);
        g_autofree char* uri = g_filename_to_uri(base.file("res/html/index.html").c_str(), nullptr, nullptr);
        webkit_web_view_load_uri(view, uri);
        EXPECT_TRUE(testsupport::runUntil([&] {
            const char* title = webkit_web_view_get_title(view);
            return title && std::string(title) != "linked";
        }));
        EXPECT_STREQ(webkit_web_view_get_title(view), "loaded");
        g_object_unref(view);
    }
}

// A session whose runtime folder cannot be written (here: it is a file) still confines the page:
// the rules are kept in the user's cache folder instead.
TEST(ReadAccess, AnUnwritableRuntimeFolderFallsBackToTheCacheFolder) {
    testsupport::TempDir base;
    base.write("res/html/index.html", "<!doctype html><title>page</title>");
    base.write("not-a-folder", "");
    const char* before = g_getenv("XDG_RUNTIME_DIR");
    std::optional<std::string> kept = before ? std::optional<std::string>(before) : std::nullopt;
    g_setenv("XDG_RUNTIME_DIR", base.file("not-a-folder").c_str(), TRUE);

    auto manager = gobj::adopt(webkit_user_content_manager_new());
    std::optional<bool> confined;
    std::string why;
    webpolicy::confineToHtmlFolder(manager.get(), base.file("res"), [&](bool ok, const std::string& reason) {
        confined = ok;
        why = reason;
    });
    bool answered = testsupport::runUntil([&] { return confined.has_value(); });
    if (kept)
        g_setenv("XDG_RUNTIME_DIR", kept->c_str(), TRUE);
    else
        g_unsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(answered);
    EXPECT_TRUE(*confined) << why;
    EXPECT_TRUE(std::filesystem::is_directory(std::string(g_get_user_cache_dir()) + "/TAVRIK/content-filters"));
}

}  // namespace
