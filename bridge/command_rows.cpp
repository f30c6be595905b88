// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/command_table.h"
#include "bridge/commands.h"
#include "common/default_stamp.h"

// Each Part's rows: the action, the fields it cannot do without, and the call into the Part.
// Optional fields are read by the handler with their fallbacks.
namespace bridge {

using K = FieldKind;

void addWindowCommands(CommandTable& table, std::weak_ptr<ParentWindow> window) {
    table.add({"setTitle", {{"title", K::String}}, weakly(window, [](ParentWindow& w, const Args& a) {
                   if (w.exists()) w.setTitle(a.str("title"));
               })});
}

void addFileCommands(CommandTable& table, std::weak_ptr<FileCommands> files) {
    table.add({"saveJSON", {{"json", K::String}}, weakly(files, [](FileCommands& f, const Args& a) {
                   // Without a known "to", the save asks as it always has.
                   std::string to = a.strOr("to", "");
                   if (to == "document") return f.saveBoard(a.take("json"), BoardTarget::Document);
                   if (to == "choose") return f.saveBoard(a.take("json"), BoardTarget::Choose);
                   f.saveText(a.take("json"), common::defaultStamp("TAVRIK", "json"), "json");
               })});
    // Our own: a big board in pieces, so that no single message holds it all (see the README).
    table.add({"saveJSONBegin", {}, weakly(files, [](FileCommands& f, const Args& a) {
                   std::string to = a.strOr("to", "");
                   if (to == "document") return f.saveBoardBegin(BoardTarget::Document);
                   if (to == "choose") return f.saveBoardBegin(BoardTarget::Choose);
                   f.saveBoardBegin(std::nullopt);
               })});
    table.add({"saveJSONChunk", {{"data", K::String}}, weakly(files, [](FileCommands& f, const Args& a) {
                   f.saveBoardPiece(a.take("data"));
               })});
    table.add({"saveJSONEnd", {}, weakly(files, [](FileCommands& f, const Args&) { f.saveBoardEnd(); })});
    table.add({"saveJSONAbort", {}, weakly(files, [](FileCommands& f, const Args&) { f.saveBoardAbort(); })});
    table.add({"openJSON", {}, weakly(files, [](FileCommands& f, const Args&) { f.openJSONFile(); })});
    table.add({"openPaperPDF", {}, weakly(files, [](FileCommands& f, const Args&) { f.openPaperPDF(); })});
    table.add(
        {"saveImage", {{"dataUrl", K::String}, {"ext", K::String}}, weakly(files, [](FileCommands& f, const Args& a) {
             f.saveImage(a.value("dataUrl"), a.str("ext") == "jpg" ? "jpg" : "png");
         })});
    table.add({"savePDF", {{"dataUrl", K::String}}, weakly(files, [](FileCommands& f, const Args& a) {
                   f.savePDF(a.value("dataUrl"));
               })});
    table.add({"savePDFPages", {{"pages", K::StringList}}, weakly(files, [](FileCommands& f, const Args& a) {
                   f.savePDFPages(*a.value("pages").array(), a.strOr("name", "TAVRIK-系列"));
               })});
    table.add({"saveFile",
               {{"name", K::String}, {"dataUrl", K::String}},
               weakly(files, [](FileCommands& f, const Args& a) { f.saveFile(a.str("name"), a.value("dataUrl")); })});
    table.add({"openFile",
               {{"name", K::String}, {"dataUrl", K::String}},
               weakly(files, [](FileCommands& f, const Args& a) { f.openFile(a.str("name"), a.value("dataUrl")); })});
}

void addRenderCommands(CommandTable& table, std::weak_ptr<RenderCommands> render) {
    table.add(
        {"renderPDF",
         {{"name", K::String}, {"dataUrl", K::String}, {"reqId", K::String}},
         weakly(render, [](RenderCommands& r, const Args& a) { r.renderPDF(a.value("dataUrl"), a.str("reqId")); })});
    table.add({"renderPDFBegin", {{"reqId", K::String}}, weakly(render, [](RenderCommands& r, const Args& a) {
                   r.renderPDFBegin(a.str("reqId"));
               })});
    table.add(
        {"renderPDFChunk",
         {{"reqId", K::String}, {"chunk", K::String}},
         weakly(render, [](RenderCommands& r, const Args& a) { r.renderPDFChunk(a.str("reqId"), a.value("chunk")); })});
    table.add({"renderPDFEnd", {{"reqId", K::String}}, weakly(render, [](RenderCommands& r, const Args& a) {
                   r.renderPDFEnd(a.str("reqId"));
               })});
}

void addNetCommands(CommandTable& table, std::weak_ptr<NetCommands> net) {
    table.add({"fetchImage", {{"url", K::WebUrl}, {"reqId", K::String}}, weakly(net, [](NetCommands& n, const Args& a) {
                   n.fetchImage(a.str("url"), a.str("reqId"));
               })});
    table.add({"netRequest", {{"reqId", K::String}, {"url", K::Url}}, weakly(net, [](NetCommands& n, const Args& a) {
                   n.netRequest(a.str("reqId"), a.str("url"), a.message());
               })});
    // Our own: ends the page's requests under that id (see the README's page contract).
    table.add({"netCancel", {{"reqId", K::String}}, weakly(net, [](NetCommands& n, const Args& a) {
                   n.netCancel(a.str("reqId"));
               })});
}

void addVaultCommands(CommandTable& table, std::weak_ptr<VaultCommands> vault) {
    table.add({"vaultSet", {{"keyId", K::String}}, weakly(vault, [](VaultCommands& v, const Args& a) {
                   v.vaultSet(a.strOr("reqId", ""), a.str("keyId"), a.strOr("value", ""), a.message().find("origins"));
               })});
    table.add({"vaultDelete", {{"keyId", K::String}}, weakly(vault, [](VaultCommands& v, const Args& a) {
                   v.vaultDelete(a.strOr("reqId", ""), a.str("keyId"));
               })});
    table.add({"vaultStatus", {}, weakly(vault, [](VaultCommands& v, const Args& a) {
                   v.vaultStatus(a.strOr("reqId", ""), a.strOr("keyId", ""));
               })});
    table.add(
        {"vaultList", {}, weakly(vault, [](VaultCommands& v, const Args& a) { v.vaultList(a.strOr("reqId", "")); })});
}

void addMenuCommands(CommandTable& table, std::weak_ptr<MenuCommands> menu) {
    table.add({"menuState", {{"sens", K::Number}}, weakly(menu, [](MenuCommands& m, const Args& a) {
                   m.menuState(a.number("sens"));
               })});
    table.add({"langChanged", {{"lang", K::String}}, weakly(menu, [](MenuCommands& m, const Args& a) {
                   m.langChanged(a.str("lang"));
               })});
}

}  // namespace bridge
