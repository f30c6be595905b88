// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seams between the dispatcher and the Parts that carry the commands out. The dispatcher has
// checked every required field before it calls; each call runs on the main thread. A new command
// is one row (an add… function below, or a Part's own table.add) and its handler.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/command_table.h"
#include "common/json.h"

namespace bridge {

// The window that panels attach to and that setTitle renames (the bridge's `window()`).
class ParentWindow {
public:
    virtual ~ParentWindow() = default;
    virtual bool exists() = 0;
    virtual void setTitle(const std::string& title) = 0;
};

// Where a board goes when saveJSON names a target ("to"): the board's own file, in place (the
// chooser when it has none), or always the chooser, proposing that file's name and folder.
enum class BoardTarget { Document, Choose };

class FileCommands {
public:
    virtual ~FileCommands() = default;
    virtual void saveText(std::string text, std::string defaultName, std::string ext) = 0;
    virtual void saveBoard(std::string text, BoardTarget to) = 0;
    // A board's text in pieces, in order: the save starts at Begin (without a target: the plain
    // chooser, as saveText), each piece is written as it comes, End completes the file.
    virtual void saveBoardBegin(std::optional<BoardTarget> to) = 0;
    virtual void saveBoardPiece(std::string piece) = 0;
    virtual void saveBoardEnd() = 0;
    // The page gives the board it is sending up (reported as cancelled).
    virtual void saveBoardAbort() = 0;
    // Data URLs are strings, plain or still held as their decoded bytes (see json::EncodedString).
    virtual void saveImage(const json::Value& dataUrl, std::string ext) = 0;  // ext is "jpg" or "png"
    virtual void savePDF(const json::Value& dataUrl) = 0;
    virtual void savePDFPages(json::Array pages, std::string name) = 0;  // strings
    virtual void saveFile(std::string name, const json::Value& dataUrl) = 0;
    virtual void openFile(std::string name, const json::Value& dataUrl) = 0;
    virtual void openJSONFile() = 0;
    virtual void openPaperPDF() = 0;
};

// The render job table (`pdfJobs`) lives behind this seam, on the main thread.
class RenderCommands {
public:
    virtual ~RenderCommands() = default;
    // dataUrl and chunk are strings, plain or still held as their decoded bytes.
    virtual void renderPDF(const json::Value& dataUrl, std::string reqId) = 0;
    virtual void renderPDFBegin(std::string reqId) = 0;
    virtual void renderPDFChunk(std::string reqId, const json::Value& chunk) = 0;
    virtual void renderPDFEnd(std::string reqId) = 0;
};

class NetCommands {
public:
    virtual ~NetCommands() = default;
    // url has parsed and its scheme, lower-cased, is http or https.
    virtual void fetchImage(std::string url, std::string reqId) = 0;
    // url has parsed; spec is the whole command message.
    virtual void netRequest(std::string reqId, std::string url, const json::Value& spec) = 0;
    // Ends every unfinished request with this id (the page's choice of reqId may repeat).
    virtual void netCancel(std::string reqId) = 0;
};

class VaultCommands {
public:
    virtual ~VaultCommands() = default;
    // origins: the message's "origins" field as it came, or null (read by the vault, which knows
    // its form).
    virtual void vaultSet(std::string reqId, std::string keyId, std::string value, const json::Value* origins) = 0;
    virtual void vaultDelete(std::string reqId, std::string keyId) = 0;
    virtual void vaultStatus(std::string reqId, std::string keyId) = 0;
    virtual void vaultList(std::string reqId) = 0;
};

class MenuCommands {
public:
    virtual ~MenuCommands() = default;
    virtual void menuState(double sens) = 0;
    virtual void langChanged(std::string lang) = 0;
};

// Each Part registers its rows with the bridge's table, holding itself weakly (command_rows.cpp).
void addWindowCommands(CommandTable& table, std::weak_ptr<ParentWindow> window);
void addFileCommands(CommandTable& table, std::weak_ptr<FileCommands> files);
void addRenderCommands(CommandTable& table, std::weak_ptr<RenderCommands> render);
void addNetCommands(CommandTable& table, std::weak_ptr<NetCommands> net);
void addVaultCommands(CommandTable& table, std::weak_ptr<VaultCommands> vault);
void addMenuCommands(CommandTable& table, std::weak_ptr<MenuCommands> menu);

}  // namespace bridge
