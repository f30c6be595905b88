// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "bridge/bridge.h"
#include "bridge/page_calls.h"
#include "fakes/fakes.h"
#include "support/json_text.h"

namespace {

// Records every handler call as one line of text.
struct Recorder : bridge::ParentWindow,
                  bridge::FileCommands,
                  bridge::RenderCommands,
                  bridge::NetCommands,
                  bridge::VaultCommands,
                  bridge::MenuCommands {
    std::vector<std::string> calls;
    void add(std::string s) { calls.push_back(std::move(s)); }
    bool exists() override { return true; }
    void setTitle(const std::string& t) override { add("setTitle|" + t); }
    void saveText(std::string t, std::string n, std::string e) override {
        add("saveText|" + t + "|" + n.substr(0, 7) + "|" + e);
    }
    void saveBoard(std::string t, bridge::BoardTarget to) override {
        add("saveBoard|" + t + "|" + (to == bridge::BoardTarget::Document ? "document" : "choose"));
    }
    void saveBoardBegin(std::optional<bridge::BoardTarget> to) override {
        add(std::string("saveBoardBegin|") + (!to ? "" : to == bridge::BoardTarget::Document ? "document" : "choose"));
    }
    void saveBoardPiece(std::string p) override { add("saveBoardPiece|" + p); }
    void saveBoardEnd() override { add("saveBoardEnd"); }
    void saveBoardAbort() override { add("saveBoardAbort"); }
    void saveImage(const json::Value& d, std::string e) override { add("saveImage|" + *d.string() + "|" + e); }
    void savePDF(const json::Value& d) override { add("savePDF|" + *d.string()); }
    void savePDFPages(json::Array p, std::string n) override {
        add("savePDFPages|" + std::to_string(p.size()) + "|" + n);
    }
    void saveFile(std::string n, const json::Value& d) override { add("saveFile|" + n + "|" + *d.string()); }
    void openFile(std::string n, const json::Value& d) override { add("openFile|" + n + "|" + *d.string()); }
    void openJSONFile() override { add("openJSONFile"); }
    void openPaperPDF() override { add("openPaperPDF"); }
    void renderPDF(const json::Value& d, std::string r) override { add("renderPDF|" + *d.string() + "|" + r); }
    void renderPDFBegin(std::string r) override { add("renderPDFBegin|" + r); }
    void renderPDFChunk(std::string r, const json::Value& c) override {
        add("renderPDFChunk|" + r + "|" + *c.string());
    }
    void renderPDFEnd(std::string r) override { add("renderPDFEnd|" + r); }
    void fetchImage(std::string u, std::string r) override { add("fetchImage|" + u + "|" + r); }
    void netRequest(std::string r, std::string u, const json::Value& spec) override {
        add("netRequest|" + r + "|" + u + "|" + (spec.stringAt("action") ? "spec" : "?"));
    }
    void netCancel(std::string r) override { add("netCancel|" + r); }
    void vaultSet(std::string r, std::string k, std::string v, const json::Value* o) override {
        add("vaultSet|" + r + "|" + k + "|" + v + (o ? "|origins" : ""));
    }
    void vaultDelete(std::string r, std::string k) override { add("vaultDelete|" + r + "|" + k); }
    void vaultStatus(std::string r, std::string k) override { add("vaultStatus|" + r + "|" + k); }
    void vaultList(std::string r) override { add("vaultList|" + r); }
    void menuState(double s) override { add("menuState|" + std::to_string(s).substr(0, 4)); }
    void langChanged(std::string l) override { add("langChanged|" + l); }
};

struct Fixture {
    fakes::ManualQueue queue;
    std::shared_ptr<fakes::RecordingPage> page = std::make_shared<fakes::RecordingPage>();
    std::shared_ptr<bridge::Bridge> bridge = std::make_shared<bridge::Bridge>(queue, page);
    std::shared_ptr<Recorder> rec = std::make_shared<Recorder>();
    Fixture() {
        auto& table = bridge->commands();
        bridge::addWindowCommands(table, rec);
        bridge::addFileCommands(table, rec);
        bridge::addRenderCommands(table, rec);
        bridge::addNetCommands(table, rec);
        bridge::addVaultCommands(table, rec);
        bridge::addMenuCommands(table, rec);
    }
    std::vector<std::string> send(const char* text) {
        rec->calls.clear();
        auto v = testsupport::parseJson(text);
        EXPECT_TRUE(v) << text;
        bridge->receive(*v);
        queue.runAll();
        EXPECT_TRUE(page->scripts.empty()) << text;  // the dispatcher itself never answers
        return rec->calls;
    }
};

}  // namespace

TEST(Dispatch, RoutesEachCommandWithItsCheckedFields) {
    Fixture f;
    struct Case {
        const char* msg;
        std::vector<std::string> calls;
    };
    std::vector<Case> cases = {
        // malformed bodies and actions
        {R"("saveJSON")", {}},
        {R"(["saveJSON"])", {}},
        {R"({"action":3})", {}},
        {R"({"json":"x"})", {}},
        {R"({"action":"SaveJSON","json":"x"})", {}},
        {R"({"action":"nope"})", {}},
        // files
        {R"({"action":"saveJSON","json":"{}"})", {"saveText|{}|TAVRIK-|json"}},
        {R"({"action":"saveJSON","json":5})", {}},
        {R"({"action":"saveJSON","json":"{}","to":"document"})", {"saveBoard|{}|document"}},
        {R"({"action":"saveJSON","json":"{}","to":"choose"})", {"saveBoard|{}|choose"}},
        {R"({"action":"saveJSON","json":"{}","to":"elsewhere"})", {"saveText|{}|TAVRIK-|json"}},
        {R"({"action":"saveJSON","json":"{}","to":1})", {"saveText|{}|TAVRIK-|json"}},
        {R"({"action":"saveJSONBegin"})", {"saveBoardBegin|"}},
        {R"({"action":"saveJSONBegin","to":"document"})", {"saveBoardBegin|document"}},
        {R"({"action":"saveJSONBegin","to":"choose"})", {"saveBoardBegin|choose"}},
        {R"({"action":"saveJSONBegin","to":["choose"]})", {"saveBoardBegin|"}},
        {R"({"action":"saveJSONChunk","data":"{\"items\":["})", {"saveBoardPiece|{\"items\":["}},
        {R"({"action":"saveJSONChunk","data":""})", {"saveBoardPiece|"}},
        {R"({"action":"saveJSONChunk","data":7})", {}},
        {R"({"action":"saveJSONChunk"})", {}},
        {R"({"action":"saveJSONEnd","data":"x"})", {"saveBoardEnd"}},
        {R"({"action":"saveJSONAbort"})", {"saveBoardAbort"}},
        {R"({"action":"openJSON"})", {"openJSONFile"}},
        {R"({"action":"openPaperPDF","extra":1})", {"openPaperPDF"}},
        {R"({"action":"saveImage","dataUrl":"d","ext":"jpg"})", {"saveImage|d|jpg"}},
        {R"({"action":"saveImage","dataUrl":"d","ext":"jpeg"})", {"saveImage|d|png"}},
        {R"({"action":"saveImage","dataUrl":"d","ext":"JPG"})", {"saveImage|d|png"}},
        {R"({"action":"saveImage","dataUrl":"d","ext":"webp"})", {"saveImage|d|png"}},
        {R"({"action":"saveImage","dataUrl":"d"})", {}},
        {R"({"action":"savePDF","dataUrl":"d"})", {"savePDF|d"}},
        {R"({"action":"savePDFPages","pages":["a","b"]})", {"savePDFPages|2|TAVRIK-系列"}},
        {R"({"action":"savePDFPages","pages":["a"],"name":"Board"})", {"savePDFPages|1|Board"}},
        {R"({"action":"savePDFPages","pages":["a"],"name":7})", {"savePDFPages|1|TAVRIK-系列"}},
        {R"({"action":"savePDFPages","pages":[]})", {}},
        {R"({"action":"savePDFPages","pages":["a",1]})", {}},
        {R"({"action":"savePDFPages","pages":"a"})", {}},
        {R"({"action":"saveFile","name":"a.csv","dataUrl":"d"})", {"saveFile|a.csv|d"}},
        {R"({"action":"saveFile","name":"a.csv"})", {}},
        {R"({"action":"openFile","name":"n","dataUrl":"d"})", {"openFile|n|d"}},
        // rendering
        {R"({"action":"renderPDF","name":"","dataUrl":",","reqId":"r"})", {"renderPDF|,|r"}},
        {R"({"action":"renderPDF","dataUrl":"d","reqId":"r"})", {}},
        {R"({"action":"renderPDFBegin","reqId":"r"})", {"renderPDFBegin|r"}},
        {R"({"action":"renderPDFChunk","reqId":"r","chunk":"QQ=="})", {"renderPDFChunk|r|QQ=="}},
        {R"({"action":"renderPDFChunk","reqId":"r"})", {}},
        {R"({"action":"renderPDFEnd","reqId":"r"})", {"renderPDFEnd|r"}},
        {R"({"action":"renderPDFEnd"})", {}},
        // title and menu
        {R"({"action":"setTitle","title":"新标题 \"x\""})", {"setTitle|新标题 \"x\""}},
        {R"({"action":"setTitle","title":""})", {"setTitle|"}},
        {R"({"action":"setTitle","title":1})", {}},
        {R"({"action":"menuState","sens":1.8})", {"menuState|1.80"}},
        {R"({"action":"menuState","sens":2})", {"menuState|2.00"}},
        {R"({"action":"menuState","sens":"1.8"})", {}},
        {R"({"action":"menuState","sens":true})", {}},
        {R"({"action":"langChanged","lang":"fr"})", {"langChanged|fr"}},
        {R"({"action":"langChanged","lang":null})", {}},
        // network
        {R"({"action":"fetchImage","url":"HTTPS://example.com/a.png","reqId":"1"})",
         {"fetchImage|HTTPS://example.com/a.png|1"}},
        {R"({"action":"fetchImage","url":"http://127.0.0.1/a","reqId":"1"})", {"fetchImage|http://127.0.0.1/a|1"}},
        {R"({"action":"fetchImage","url":"file:///etc/passwd","reqId":"1"})", {}},
        {R"({"action":"fetchImage","url":"data:image/png;base64,QUJD","reqId":"1"})", {}},
        {R"({"action":"fetchImage","url":"example.com/a.png","reqId":"1"})", {}},
        {R"({"action":"fetchImage","url":"https://example.com/a.png"})", {}},
        {R"({"action":"fetchImage","url":"https://exa mple.com","reqId":"1"})", {}},
        {R"({"action":"netRequest","reqId":"1","url":"https://api.example/v1"})",
         {"netRequest|1|https://api.example/v1|spec"}},
        {R"({"action":"netRequest","reqId":"1","url":"ftp://x/"})", {"netRequest|1|ftp://x/|spec"}},
        {R"({"action":"netRequest","reqId":"1","url":"http://a b"})", {}},
        {R"({"action":"netRequest","url":"https://a"})", {}},
        {R"({"action":"netCancel","reqId":"n\u00e9 1"})", {"netCancel|né 1"}},
        {R"({"action":"netCancel","reqId":""})", {"netCancel|"}},
        {R"({"action":"netCancel","reqId":7})", {}},
        {R"({"action":"netCancel","reqId":["a"]})", {}},
        {R"({"action":"netCancel"})", {}},
        // vault
        {R"({"action":"vaultSet","reqId":"q","keyId":"k","value":"v"})", {"vaultSet|q|k|v"}},
        {R"({"action":"vaultSet","keyId":"k"})", {"vaultSet||k|"}},
        {R"({"action":"vaultSet","keyId":"k","value":"v","origins":["https://a.test"]})", {"vaultSet||k|v|origins"}},
        {R"({"action":"vaultSet","value":"v"})", {}},
        {R"({"action":"vaultDelete","keyId":"k","reqId":5})", {"vaultDelete||k"}},
        {R"({"action":"vaultDelete"})", {}},
        {R"({"action":"vaultStatus"})", {"vaultStatus||"}},
        {R"({"action":"vaultList","reqId":"z"})", {"vaultList|z"}},
    };
    for (auto& c : cases) {
        EXPECT_EQ(f.send(c.msg), c.calls) << c.msg;
        // A message read for this dispatch only has its strings moved to the handlers: the same calls.
        f.rec->calls.clear();
        f.bridge->receive(std::move(*testsupport::parseJson(c.msg)));
        EXPECT_EQ(f.rec->calls, c.calls) << c.msg;
    }
}

TEST(Dispatch, MissingHandlersDoNothing) {
    fakes::ManualQueue queue;
    auto page = std::make_shared<fakes::RecordingPage>();
    auto b = std::make_shared<bridge::Bridge>(queue, page);
    for (const char* m : {R"({"action":"saveJSON","json":"x"})", R"({"action":"setTitle","title":"x"})",
                          R"({"action":"vaultList"})", R"({"action":"renderPDFBegin","reqId":"r"})"})
        b->receive(*testsupport::parseJson(m));
    EXPECT_EQ(queue.runAll(), 0);
}

// A command added by one row: its fields are checked from the row, a later row replaces it, and
// neither a Part that is gone nor a closed bridge takes a command.
TEST(Dispatch, RowsAddReplaceAndStopTakingCommands) {
    Fixture f;
    std::vector<std::string> seen;
    auto row = [&](std::string tag) {
        return bridge::Command{"ping",
                               {{"n", bridge::FieldKind::Number}, {"to", bridge::FieldKind::WebUrl}},
                               [&seen, tag](const bridge::Args& a) {
                                   seen.push_back(tag + std::to_string(static_cast<int>(a.number("n"))) + a.str("to") +
                                                  a.strOr("note", "-"));
                               }};
    };
    f.bridge->commands().add(row("a"));
    for (const char* m : {R"({"action":"ping","n":1,"to":"http://127.0.0.1/"})",
                          R"({"action":"ping","n":"1","to":"http://127.0.0.1/"})",
                          R"({"action":"ping","n":2,"to":"ftp://127.0.0.1/"})", R"({"action":"ping","n":3})"})
        f.send(m);
    f.bridge->commands().add(row("b"));
    f.send(R"({"action":"ping","n":4,"to":"https://127.0.0.1","note":"x"})");
    EXPECT_EQ(seen, (std::vector<std::string>{"a1http://127.0.0.1/-", "b4https://127.0.0.1x"}));

    auto gone = std::make_shared<Recorder>();
    bridge::addFileCommands(f.bridge->commands(), gone);
    gone.reset();  // the Part is gone: its rows hold it weakly
    EXPECT_TRUE(f.send(R"({"action":"openJSON"})").empty());
    f.bridge->close();
    f.send(R"({"action":"ping","n":5,"to":"http://127.0.0.1/"})");
    EXPECT_EQ(seen.size(), 2u);
}

TEST(PageCalls, FourFormsInIssueOrderAndDroppedWhenTheViewIsGone) {
    fakes::ManualQueue queue;
    auto page = std::make_shared<fakes::RecordingPage>();
    auto b = std::make_shared<bridge::Bridge>(queue, page);
    b->pushFunction("__netReply", json::Object{{"reqId", "1"}, {"ok", true}});
    b->pushPositional("__pdfRendered", json::Array{"r", json::Array{}});
    b->pushWrapped("__imageFetched", json::Object{{"reqId", "2"}, {"dataUrl", "data:image/png;base64,QQ=="}});
    b->pushScript("toast('PDF 超过 25MB，无法读取')");
    b->sendToPage(json::Array{json::Object{{"kind", "text"}, {"text", "hi"}}});
    b->callGuardedPositional("__openFailed", json::Array{"a.json", "missing"});
    b->pushFunction("__bad", json::Value(std::nan("")));  // cannot be written: dropped
    EXPECT_TRUE(page->scripts.empty());                   // nothing before the main queue runs
    queue.runAll();
    EXPECT_EQ(page->scripts,
              (std::vector<std::string>{
                  R"(window.__netReply({"reqId":"1","ok":true}))",
                  R"(window.__pdfRendered((["r",[]])[0], (["r",[]])[1]))",
                  R"(window.__imageFetched(({"reqId":"2","dataUrl":"data:image\/png;base64,QQ=="})))",
                  "toast('PDF 超过 25MB，无法读取')",
                  R"(window.__floatDrop([{"kind":"text","text":"hi"}]))",
                  R"(window.__openFailed && window.__openFailed((["a.json","missing"])[0], (["a.json","missing"])[1]))",
              }));
    page->isAlive = false;
    b->pushFunction("__netReply", json::Object{});
    queue.runAll();
    EXPECT_EQ(page->scripts.size(), 6u);
    page->isAlive = true;
    b->pushFunction("__netReply", json::Object{});
    b.reset();  // the bridge is gone before the task runs
    queue.runAll();
    EXPECT_EQ(page->scripts.size(), 6u);
    EXPECT_EQ(bridge::pagecall::text("__menuAction", bridge::pagecall::Form::Guarded, "export:pdf"),
              "window.__menuAction && window.__menuAction(\"export:pdf\")");
    EXPECT_EQ(bridge::pagecall::text("__fileDrop", bridge::pagecall::Form::Guarded,
                                     json::Object{{"items", json::Array{}}, {"x", 3}}),
              R"(window.__fileDrop && window.__fileDrop({"items":[],"x":3}))");
}

TEST(PageCalls, LiftedFormCarriesLongStringsBesideTheBody) {
    using bridge::pagecall::Form;
    const std::string big(8, 'x');
    const std::string withNul = std::string("xxxx\0xxx", 8);
    struct Case {
        Form form;
        json::Value value;
        std::optional<std::string> body;  // nothing: the text form is used
        std::vector<std::string> strings;
    };
    const Case cases[] = {
        {Form::Positional, json::Array{"r", 1, 3, big}, "window.f(\"r\", 1, 3, a0)", {big}},
        {Form::Single,
         json::Array{json::Object{{"name", big}, {"ok", true}, {"n", nullptr}}, big},
         R"(window.f([{"name":a0,"ok":true,"n":null},a1]))",
         {big, big}},
        {Form::Wrapped, json::Object{{"k/", "a/b"}, {"d", big}}, R"(window.f({"k\/":"a\/b","d":a0}))", {big}},
        {Form::Guarded, json::Object{{"items", json::Array{big}}}, R"(window.f && window.f({"items":[a0]}))", {big}},
        {Form::GuardedPositional, json::Array{big, "missing"}, R"(window.f && window.f(a0, "missing"))", {big}},
        // A NUL cannot travel beside the call: that string stays in the text.
        {Form::Positional, json::Array{withNul, big}, R"(window.f("xxxx\u0000xxx", a0))", {big}},
        {Form::Positional, json::Array{withNul}, std::nullopt, {}},
        {Form::Single, json::Value("short"), std::nullopt, {}},
        // What the text form would drop is dropped here too.
        {Form::Positional, json::Array{big, std::string("\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8")}, std::nullopt, {}},
        {Form::Positional, json::Array{big, std::nan("")}, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        auto call = bridge::pagecall::lifted("f", c.form, c.value, big.size());
        ASSERT_EQ(call.has_value(), c.body.has_value()) << (c.body ? *c.body : "(text)");
        if (!call) continue;
        EXPECT_EQ(call->body, *c.body);
        std::vector<std::string> strings;
        for (auto* s : call->strings) strings.push_back(*s);
        EXPECT_EQ(strings, c.strings);
    }
}
