// SPDX-License-Identifier: GPL-3.0-or-later
// What the page tells the user when something fails behind it, under real WebKit: the recovery copy
// when IndexedDB refuses writes (staged by making its write transactions throw as a full quota
// does), a large first copy written in pieces, and the vault's refusals and set-aside file.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

class RecoveryFaults : public ::testing::Test {
protected:
    void SetUp() override {
        shell.app().bridge()->commands().clear();
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        testsupport::recordMessages(shell);
        js("board.load({items: []}); __setLang('en')");
        failFrom(-1);
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }
    bool waitFor(const std::string& script) { return shell.waitFor(script); }
    bool restart() {
        js("window.__gone = true");
        webkit_web_view_reload(shell.webView());
        if (!waitFor("!window.__gone && window.board && typeof window.__quitFlushU === 'function'")) return false;
        failFrom(-1);
        return true;
    }
    // From the n-th write transaction on (counting from 0), the store refuses; -1: it never does.
    void failFrom(int n) {
        js("window.__writes = 0; window.__failFrom = " + std::to_string(n) +
           "; if (!window.__patched) { window.__patched = true; const open = IDBDatabase.prototype.transaction;"
           " IDBDatabase.prototype.transaction = function (store, mode) {"
           "  if (mode === 'readwrite' && window.__failFrom >= 0 && window.__writes++ >= window.__failFrom)"
           "   throw new DOMException('Quota exceeded', 'QuotaExceededError');"
           "  return open.apply(this, arguments); }; }");
    }
    bool stored() {
        js("window.__stored = false; recovery.flush().then(() => { window.__stored = true; })");
        return waitFor("window.__stored");
    }
    // The toast shown since the last call, or "".
    std::string toast() {
        std::string text = js("document.getElementById('toast').textContent");
        js("document.getElementById('toast').textContent = ''");
        return text;
    }

    testsupport::Shell shell{""};
};

TEST_F(RecoveryFaults, TheUserHearsOnceWhenCopiesFailAndOnceWhenTheyWorkAgain) {
    failFrom(0);
    js("board.addNote('one')");
    ASSERT_TRUE(stored());
    EXPECT_EQ(toast(), "Recovery copy could not be saved: Quota exceeded");
    js("board.addNote('two')");
    ASSERT_TRUE(stored());
    EXPECT_EQ(toast(), "") << "said once while it lasts";

    failFrom(-1);
    js("__setLang('de'); board.addNote('three')");
    ASSERT_TRUE(stored());
    EXPECT_EQ(toast(), "Die Wiederherstellungskopie wird wieder gespeichert");
    js("board.addNote('four')");
    ASSERT_TRUE(stored());
    EXPECT_EQ(toast(), "");

    ASSERT_TRUE(restart());
    EXPECT_TRUE(waitFor("board.doc().items.length === 4"));
}

// Three files of 3 million characters each: one piece each. When the store gives up after the first,
// the copy read back is the board without the two files still to come; a later write completes it.
TEST_F(RecoveryFaults, ALargeFirstCopyIsCoveredAfterItsFirstPiece) {
    // Staged before the files arrive: the copy may be written by its own timer before the test asks.
    ASSERT_TRUE(stored());
    failFrom(1);
    js("for (const c of ['a', 'b', 'c']) board.addFile(c + '.bin', 'application/octet-stream',"
       " 'data:application/octet-stream;base64,' + btoa(c.repeat(2250000))); board.addNote('small')");
    const std::string names =
        "board.doc().items.map((i) => i.type === 'note' ? i.text : i.name + ':' + i.dataUrl.length).join()";
    const std::string whole = js(names);
    ASSERT_EQ(whole, "a.bin:3000037,b.bin:3000037,c.bin:3000037,small");

    ASSERT_TRUE(stored());
    EXPECT_EQ(toast(), "Recovery copy could not be saved: Quota exceeded");
    ASSERT_TRUE(restart());
    ASSERT_TRUE(waitFor("board.doc().items.length === 2")) << js(names);
    EXPECT_EQ(js(names), "a.bin:3000037,small");

    js("for (const c of ['b', 'c']) board.addFile(c + '.bin', 'application/octet-stream',"
       " 'data:application/octet-stream;base64,' + btoa(c.repeat(2250000)))");
    ASSERT_TRUE(stored());
    ASSERT_TRUE(restart());
    ASSERT_TRUE(waitFor("board.doc().items.length === 4"));
    EXPECT_EQ(js(names), "a.bin:3000037,small,b.bin:3000037,c.bin:3000037");
}

TEST_F(RecoveryFaults, VaultRefusalsAndASetAsideFileAreTold) {
    js("__vaultReply({reqId: board.refreshKeys(), keyId: '', ok: true, has: false, hint: '', backend: 'file',"
       " keys: ['k']})");
    ASSERT_TRUE(waitFor("document.querySelector('#keys-list li[data-key-id=\"k\"] button') !== null"));
    js("document.querySelector('#keys-list li[data-key-id=\"k\"] button').click()");
    ASSERT_TRUE(waitFor(testsupport::lastSent("vaultDelete")));
    js("__vaultReply({reqId: " + testsupport::lastSent("vaultDelete") +
       ".reqId, keyId: 'k', ok: false, has: false, hint: '', backend: 'file'})");
    EXPECT_TRUE(waitFor("document.getElementById('toast').textContent === 'The key could not be deleted'")) << toast();
    toast();
    const std::string aside =
        "__vaultReply({reqId: board.refreshKeys(), keyId: '', ok: true, has: false, hint: '', backend: 'keychain',"
        " keys: [], setAside: '/home/u/.local/share/TAVRIK/vault.dat.unreadable-20261211-071700'})";
    js(aside);
    EXPECT_TRUE(
        waitFor("document.getElementById('toast').textContent === 'The stored keys file could not "
                "be read; it was kept as /home/u/.local/share/TAVRIK/vault.dat.unreadable-20261211-071700 "
                "and its keys are no longer offered'"))
        << toast();
    toast();
    js(aside);
    ASSERT_TRUE(waitFor("true"));
    EXPECT_EQ(toast(), "") << "said once";
}

}  // namespace
