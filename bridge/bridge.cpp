#include "bridge/bridge.h"

#include "bridge/page_calls.h"
#include "bridge/url.h"
#include "common/default_stamp.h"

namespace bridge {
namespace {

// A required string field; nothing when it is absent or not a string.
const std::string* str(const json::Value& msg, std::string_view key) { return msg.stringAt(key); }

std::string strOr(const json::Value& msg, std::string_view key, std::string fallback) {
    auto* s = msg.stringAt(key);
    return s ? *s : std::move(fallback);
}

}  // namespace

Bridge::Bridge(common::MainQueue& mainQueue, std::shared_ptr<PageChannel> page)
    : mainQueue_(mainQueue), page_(std::move(page)) {}

void Bridge::close() {
    closed_ = true;
    handlers_ = {};
}

void Bridge::receive(const json::Value& msg) {
    if (closed_ || !msg.object()) return;
    const std::string* actionPtr = msg.stringAt("action");
    if (!actionPtr) return;
    const std::string& action = *actionPtr;
    struct {
        std::shared_ptr<ParentWindow> window;
        std::shared_ptr<FileCommands> files;
        std::shared_ptr<RenderCommands> render;
        std::shared_ptr<NetCommands> net;
        std::shared_ptr<VaultCommands> vault;
        std::shared_ptr<MenuCommands> menu;
    } h{handlers_.window.lock(), handlers_.files.lock(), handlers_.render.lock(),
        handlers_.net.lock(),    handlers_.vault.lock(), handlers_.menu.lock()};

    if (action == "saveJSON") {
        auto* text = str(msg, "json");
        if (text && h.files) h.files->saveText(*text, common::defaultStamp("TAVRIK", "json"), "json");
    } else if (action == "openJSON") {
        if (h.files) h.files->openJSONFile();
    } else if (action == "openPaperPDF") {
        if (h.files) h.files->openPaperPDF();
    } else if (action == "saveImage") {
        auto* dataUrl = str(msg, "dataUrl");
        auto* ext = dataUrl ? str(msg, "ext") : nullptr;
        if (ext && h.files) h.files->saveImage(*dataUrl, *ext == "jpg" ? "jpg" : "png");
    } else if (action == "savePDF") {
        auto* dataUrl = str(msg, "dataUrl");
        if (dataUrl && h.files) h.files->savePDF(*dataUrl);
    } else if (action == "savePDFPages") {
        auto* list = msg.find("pages") ? msg.find("pages")->array() : nullptr;
        if (!list || list->empty()) return;
        std::vector<std::string> pages;
        pages.reserve(list->size());
        for (auto& p : *list) {
            if (!p.string()) return;
            pages.push_back(*p.string());
        }
        if (h.files) h.files->savePDFPages(std::move(pages), strOr(msg, "name", "TAVRIK-系列"));
    } else if (action == "saveFile" || action == "openFile") {
        auto* name = str(msg, "name");
        auto* dataUrl = name ? str(msg, "dataUrl") : nullptr;
        if (!dataUrl || !h.files) return;
        if (action == "saveFile")
            h.files->saveFile(*name, *dataUrl);
        else
            h.files->openFile(*name, *dataUrl);
    } else if (action == "renderPDF") {
        auto* name = str(msg, "name");
        auto* dataUrl = name ? str(msg, "dataUrl") : nullptr;
        auto* reqId = dataUrl ? str(msg, "reqId") : nullptr;
        if (reqId && h.render) h.render->renderPDF(*dataUrl, *reqId);
    } else if (action == "renderPDFBegin") {
        auto* reqId = str(msg, "reqId");
        if (reqId && h.render) h.render->renderPDFBegin(*reqId);
    } else if (action == "renderPDFChunk") {
        auto* reqId = str(msg, "reqId");
        auto* chunk = reqId ? str(msg, "chunk") : nullptr;
        if (chunk && h.render) h.render->renderPDFChunk(*reqId, *chunk);
    } else if (action == "renderPDFEnd") {
        auto* reqId = str(msg, "reqId");
        if (reqId && h.render) h.render->renderPDFEnd(*reqId);
    } else if (action == "setTitle") {
        auto* title = str(msg, "title");
        if (title && h.window && h.window->exists()) h.window->setTitle(*title);
    } else if (action == "menuState") {
        auto* sens = msg.find("sens") ? msg.find("sens")->number() : nullptr;
        if (sens && h.menu) h.menu->menuState(*sens);
    } else if (action == "langChanged") {
        auto* lang = str(msg, "lang");
        if (lang && h.menu) h.menu->langChanged(*lang);
    } else if (action == "fetchImage") {
        auto* url = str(msg, "url");
        auto parsed = url ? parseUrl(*url) : std::nullopt;
        if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https")) return;
        auto* reqId = str(msg, "reqId");
        if (reqId && h.net) h.net->fetchImage(*url, *reqId);
    } else if (action == "netRequest") {
        auto* reqId = str(msg, "reqId");
        auto* url = reqId ? str(msg, "url") : nullptr;
        if (!url || !parseUrl(*url)) return;
        if (h.net) h.net->netRequest(*reqId, *url, msg);
    } else if (action == "vaultSet") {
        auto* keyId = str(msg, "keyId");
        if (keyId && h.vault) h.vault->vaultSet(strOr(msg, "reqId", ""), *keyId, strOr(msg, "value", ""));
    } else if (action == "vaultDelete") {
        auto* keyId = str(msg, "keyId");
        if (keyId && h.vault) h.vault->vaultDelete(strOr(msg, "reqId", ""), *keyId);
    } else if (action == "vaultStatus") {
        if (h.vault) h.vault->vaultStatus(strOr(msg, "reqId", ""), strOr(msg, "keyId", ""));
    } else if (action == "vaultList") {
        if (h.vault) h.vault->vaultList(strOr(msg, "reqId", ""));
    }
}

void Bridge::sendToPage(json::Array items) { pushFunction("__floatDrop", json::Value(std::move(items))); }

template <class Build>
void Bridge::enqueue(Build build) {
    // Serialise inside the task, on the main thread, as late as possible; hold the bridge weakly.
    mainQueue_.post([weak = weak_from_this(), build = std::move(build)]() mutable {
        auto self = weak.lock();
        if (!self || self->closed_ || !self->page_->alive()) return;
        std::optional<std::string> script = build();
        if (script) self->page_->evaluate(*script);
    });
}

void Bridge::enqueueCall(std::string name, pagecall::Form form, json::Value value) {
    // One task either way, so lifted and text calls keep the issue order.
    mainQueue_.post([weak = weak_from_this(), name = std::move(name), form, value = std::move(value)] {
        auto self = weak.lock();
        if (!self || self->closed_ || !self->page_->alive()) return;
        if (auto call = pagecall::lifted(name, form, value, self->liftBytes_); call && self->page_->call(*call)) return;
        if (auto script = pagecall::text(name, form, value)) self->page_->evaluate(*script);
    });
}

void Bridge::pushFunction(std::string name, json::Value payload) {
    enqueueCall(std::move(name), pagecall::Form::Single, std::move(payload));
}

void Bridge::pushPositional(std::string name, json::Array args) {
    enqueueCall(std::move(name), pagecall::Form::Positional, json::Value(std::move(args)));
}

void Bridge::pushWrapped(std::string name, json::Value object) {
    enqueueCall(std::move(name), pagecall::Form::Wrapped, std::move(object));
}

void Bridge::pushScript(std::string script) {
    enqueue([script = std::move(script)]() -> std::optional<std::string> { return script; });
}

}  // namespace bridge
