// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/json.h"
#include "vault_fixture.h"

namespace {

namespace fs = std::filesystem;
using vaulttest::VaultFixture;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> asides(const VaultFixture& f) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(fs::path(f.vaultPath()).parent_path()))
        if (e.path().filename().string().rfind("vault.dat.unreadable-", 0) == 0) found.push_back(e.path().string());
    return found;
}

TEST(Vault, StoresInBothStoresAndReadsKeychainFirst) {
    VaultFixture f;
    auto v = f.open();
    EXPECT_EQ(v->backend(), "keychain");
    ASSERT_TRUE(v->set("openai", "sk-1234567"));
    EXPECT_EQ(v->get("openai"), "sk-1234567");
    EXPECT_EQ(v->backend(), "keychain");
    EXPECT_EQ(f.keychain->items.at("openai"), "sk-1234567");
    EXPECT_EQ(f.file().load().items, (vault::SecretMap{{"openai", "sk-1234567"}}));

    // The keychain wins over the file while it holds a usable value.
    f.keychain->items["openai"] = "from-keychain";
    EXPECT_EQ(v->get("openai"), "from-keychain");
    for (std::string unusable : {std::string(""), std::string("\xff\xfe", 2)}) {
        f.keychain->items["openai"] = unusable;
        EXPECT_EQ(v->get("openai"), "sk-1234567");
    }
    EXPECT_TRUE(f.logs.empty());
}

TEST(Vault, RefusedKeychainFallsBackToTheFile) {
    VaultFixture f;
    f.keychain->refuseAdds = vault::KeychainError{-25308, "interaction not allowed"};
    auto v = f.open();
    ASSERT_TRUE(v->set("anthropic", "sk-ant-secret"));
    EXPECT_EQ(v->backend(), "file");
    EXPECT_EQ(v->get("anthropic"), "sk-ant-secret");
    ASSERT_EQ(f.logs.size(), 1u);
    EXPECT_EQ(f.logs[0].rfind("[Vault] keychain add failed: -25308", 0), 0u) << f.logs[0];
    EXPECT_EQ(f.logs[0].find("sk-ant-secret"), std::string::npos);

    // A later successful add moves the backend back; delete never changes it.
    f.keychain->refuseAdds.reset();
    ASSERT_TRUE(v->set("anthropic", "sk-ant-secret"));
    EXPECT_EQ(v->backend(), "keychain");
    f.keychain->refuseAdds = vault::KeychainError{5, "refused"};
    ASSERT_TRUE(v->set("other", "xyz"));
    EXPECT_EQ(v->backend(), "file");
    EXPECT_TRUE(v->remove("other"));
    EXPECT_EQ(v->backend(), "file");
}

TEST(Vault, EmptyKeyIdsAndEmptyValues) {
    VaultFixture f;
    auto v = f.open();
    EXPECT_FALSE(v->set("", "value"));
    EXPECT_FALSE(v->remove(""));
    EXPECT_EQ(v->get(""), std::nullopt);
    EXPECT_FALSE(fs::exists(f.vaultPath())) << "a refused call writes nothing";

    ASSERT_TRUE(v->set("k", "value"));
    EXPECT_TRUE(v->set("k", ""));  // an empty value deletes from both stores
    EXPECT_EQ(v->get("k"), std::nullopt);
    EXPECT_TRUE(f.keychain->items.empty());
    EXPECT_TRUE(f.file().load().items.empty());
    EXPECT_TRUE(v->remove("never-stored"));
}

TEST(Vault, RestartReportsFileAndFindsFileValues) {
    VaultFixture f;
    f.open()->set("a", "first-secret");
    f.keychain->items.clear();  // e.g. another keychain, or the item deleted by hand
    auto v = f.open();
    EXPECT_EQ(v->backend(), "file");
    EXPECT_EQ(v->get("a"), "first-secret");

    // A file holding only an empty object does not switch the backend.
    v->remove("a");
    EXPECT_EQ(f.open()->backend(), "keychain");
}

TEST(Vault, AllKeysIsTheSortedUnionOfBothStores) {
    VaultFixture f;
    auto v = f.open();
    ASSERT_TRUE(v->set("both", "1"));
    ASSERT_TRUE(v->set("file-only", "2"));
    f.keychain->items.erase("file-only");
    f.keychain->items["keychain-only"] = "3";
    f.keychain->items["Zeta"] = "4";
    f.keychain->items["\xc3\xa9t\xc3\xa9"] = "5";  // "été": code-point order puts it last
    EXPECT_EQ(v->allKeys(),
              (std::vector<std::string>{"Zeta", "both", "file-only", "keychain-only", "\xc3\xa9t\xc3\xa9"}));
    EXPECT_TRUE(VaultFixture().open()->allKeys().empty());
}

TEST(Vault, HintCountsUserPerceivedCharacters) {
    const std::string thumb = "\U0001F44D\U0001F3FD";                         // thumbs up, skin tone
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // one ZWJ sequence
    const std::string eAcute = "e\u0301";                                     // e + combining accent
    auto bullets = [](int n) {
        std::string s;
        while (n-- > 0) s += "\u2022";
        return s;
    };
    struct Case {
        std::string value, hint;
    } cases[] = {
        {"", ""},
        {"a", bullets(1)},
        {"abcdefgh", bullets(8)},
        {"abcdefghi", "abc\u2026fghi"},
        {"0123456789ab",
         "012\u2026"
         "89ab"},
        {thumb + thumb + thumb, bullets(3)},
        {eAcute + "bcdefg" + eAcute, bullets(8)},
        {eAcute + "bcdefgh" + eAcute, eAcute + "bc\u2026fgh" + eAcute},
        {family + "12345678", family + "12\u2026"
                                       "5678"},
        {"abcdefg" + thumb + thumb + eAcute, "abc\u2026g" + thumb + thumb + eAcute},
    };
    for (const auto& c : cases) EXPECT_EQ(vault::Vault::hint(c.value), c.hint) << c.value;
}

TEST(SealedFile, LayoutKeyAndPermissions) {
    VaultFixture f;
    auto v = f.open();
    ASSERT_TRUE(v->set("k/1", "s\u00e9cret"));
    const std::string plain = *json::write(json::Value(json::Object{{"k/1", "s\u00e9cret"}}));
    const std::string first = readAll(f.vaultPath());
    EXPECT_EQ(first.size(), plain.size() + 28);
    EXPECT_EQ(first.find("cret"), std::string::npos);

    // The same content sealed again differs (fresh nonce) and opens with the machine's key.
    ASSERT_TRUE(v->set("k/1", "s\u00e9cret"));
    const std::string second = readAll(f.vaultPath());
    EXPECT_NE(first, second);
    auto key = vault::deriveKey("0123456789abcdef0123456789abcdef");
    EXPECT_EQ(vault::unseal(common::toBytes(second), key), plain);
    EXPECT_EQ(vault::unseal(common::toBytes(second), vault::deriveKey("unknown-host")), std::nullopt);

    struct stat st {};
    ASSERT_EQ(stat(f.vaultPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(fs::path(f.vaultPath()).parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(SealedFile, MachineTextFallsBackInOrder) {
    testsupport::TempDir d;
    d.write("a", "first-id\nsecond line\n");
    d.write("b", "other-id\n");
    d.write("blank", "\n");
    EXPECT_EQ(vault::machineText({d.file("a"), d.file("b")}), "first-id");
    EXPECT_EQ(vault::machineText({d.file("missing"), d.file("b")}), "other-id");
    EXPECT_EQ(vault::machineText({d.file("blank"), d.file("b")}), "other-id");
    EXPECT_EQ(vault::machineText({d.file("missing")}), "unknown-host");
}

// Without a machine id, every such machine would derive the same key: the vault gets a random key
// of its own, in a file beside it that is made once and never replaced; a vault sealed before
// with the shared text still opens, and is sealed with the new key at its next write.
TEST(SealedFile, NoMachineIdMeansARandomKeyFile) {
    VaultFixture f;
    std::filesystem::remove(f.dir.file("machine-id"));
    f.dir.write("data/TAVRIK/vault.dat",
                std::string(common::asText(vault::seal(R"({"old":"kept"})", vault::deriveKey("unknown-host")))));
    auto v = f.open();
    EXPECT_EQ(v->get("old"), "kept");
    ASSERT_TRUE(v->set("openai", "sk-1"));

    vault::SealedFile file = f.file();
    const std::string key = readAll(file.keyPath());
    ASSERT_EQ(key.size(), 65u);
    struct stat st {};
    ASSERT_EQ(stat(file.keyPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const auto box = common::toBytes(readAll(f.vaultPath()));
    EXPECT_EQ(vault::unseal(box, vault::deriveKey("unknown-host")), std::nullopt);
    EXPECT_TRUE(vault::unseal(box, vault::deriveKey(key.substr(0, 64))));

    // Later writes, and a new process, use the same key; the journal beside the vault too.
    ASSERT_TRUE(v->set("openai", "sk-2"));
    EXPECT_EQ(readAll(file.keyPath()), key);
    EXPECT_EQ(file.load().items, (vault::SecretMap{{"old", "kept"}, {"openai", "sk-2"}}));
    ASSERT_TRUE(file.sibling(".pending").save({{"a", "b"}}));
    EXPECT_EQ(file.sibling(".pending").load().state, vault::SealedFile::State::Opened);
    EXPECT_EQ(readAll(file.keyPath()), key);

    // A damaged key file is never replaced: the vault cannot be written, and says why.
    f.dir.write("data/TAVRIK/vault.key", "not a key\n");
    auto refused = file.save({{"x", "y"}});
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("vault.key"), std::string::npos) << refused.error().message;
    EXPECT_EQ(readAll(file.keyPath()), "not a key\n");
    EXPECT_EQ(file.load().state, vault::SealedFile::State::Unreadable);

    // With a machine id, no key file is made.
    VaultFixture withId;
    ASSERT_TRUE(withId.open()->set("k", "v"));
    EXPECT_FALSE(std::filesystem::exists(withId.file().keyPath()));
}

// Files that cannot be opened are ignored at start, then kept aside by the first write.
TEST(SealedFile, UnreadableFileIsKeptAsideNotLost) {
    struct Case {
        const char* name;
        std::function<std::string(VaultFixture&)> make;  // returns the bad file's bytes
    } cases[] = {
        {"truncated to 20 bytes",
         [](VaultFixture& f) {
             f.open()->set("a", "0123456789");
             fs::resize_file(f.vaultPath(), 20);
             return readAll(f.vaultPath());
         }},
        {"another machine's",
         [](VaultFixture& f) {
             f.open()->set("a", "0123456789");
             f.setMachineId("fedcba9876543210fedcba9876543210");
             return readAll(f.vaultPath());
         }},
        {"not a string-to-string object",
         [](VaultFixture& f) {
             auto box = vault::seal(R"({"a":1})", vault::deriveKey("0123456789abcdef0123456789abcdef"));
             f.dir.write("data/TAVRIK/vault.dat", std::string(common::asText(box)));
             return readAll(f.vaultPath());
         }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        VaultFixture f;
        const std::string bad = c.make(f);
        f.keychain->items = {{"kc", "keychain-value"}};
        f.logs.clear();

        auto v = f.open();
        EXPECT_EQ(v->backend(), "keychain");
        EXPECT_EQ(v->get("a"), std::nullopt);
        EXPECT_EQ(v->get("kc"), "keychain-value");
        EXPECT_TRUE(f.logs.empty()) << "loading is silent";

        ASSERT_TRUE(v->set("new", "new-secret"));
        auto kept = asides(f);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(readAll(kept[0]), bad);
        ASSERT_EQ(f.logs.size(), 1u);
        EXPECT_NE(f.logs[0].find(kept[0]), std::string::npos) << f.logs[0];
        EXPECT_EQ(f.file().load().items, (vault::SecretMap{{"new", "new-secret"}}));

        ASSERT_TRUE(v->set("new", "newer-secret"));  // only the first write moves a file aside
        EXPECT_EQ(asides(f).size(), 1u);
    }
}

TEST(SealedFile, FailedWriteIsLoggedAndKeepsTheKeychainResult) {
    VaultFixture f;
    auto v = f.open();
    f.dir.write("data/TAVRIK", "a file where the folder should be");
    EXPECT_TRUE(v->set("k", "keychain-holds-it"));
    ASSERT_EQ(f.logs.size(), 1u);
    EXPECT_EQ(f.logs[0].rfind("[Vault] file save failed: ", 0), 0u) << f.logs[0];

    f.keychain->refuseAdds = vault::KeychainError{1, "no"};
    EXPECT_FALSE(v->set("k", "nowhere-to-go")) << "both stores failed";
    EXPECT_TRUE(v->remove("k")) << "delete succeeds whatever the file does";
    for (const auto& line : f.logs) {
        EXPECT_EQ(line.find("keychain-holds-it"), std::string::npos);
        EXPECT_EQ(line.find("nowhere-to-go"), std::string::npos);
    }
}

}  // namespace

namespace {

// The file key and layout users' vaults were written with: a change of salt, separator or layout
// would make every existing vault unreadable.
TEST(SealedFile, KeyDerivationAndLayoutStayReadable) {
    auto hex = [](const vault::SealKey& key) {
        std::string s;
        for (auto b : key) s += "0123456789abcdef"[b >> 4], s += "0123456789abcdef"[b & 15];
        return s;
    };
    EXPECT_EQ(hex(vault::deriveKey("0123456789abcdef0123456789abcdef")),
              "95537eae4f3762273adc0ba50a50c405309c2cf73f8891ddccefd3ef9cec231b");
    EXPECT_EQ(hex(vault::deriveKey("unknown-host")),
              "9a44e7bd3be695bba3fd11354cb4dd481316e1b53048ec76304ac4f794d2e414");

    VaultFixture f;
    f.dir.write("data/TAVRIK/vault.dat", readAll(TAVRIK_SOURCE_DIR "/tests/unit/vault/data/vault-v1.dat"));
    auto loaded = f.file().load();
    ASSERT_EQ(loaded.state, vault::SealedFile::State::Opened);
    EXPECT_EQ(loaded.items,
              (vault::SecretMap{{"k/1", std::string("s\u00e9cret\0tail", 12)}, {"openai", "sk-fixture-0123456789"}}));
}

// While the keychain is away, writes and deletes take effect for the page at once and reach the
// keychain later, in order, even across a restart; a replaced or deleted value never comes back.
TEST(Vault, MissedKeychainWritesAreReplayed) {
    VaultFixture f;
    auto v = f.open();
    ASSERT_TRUE(v->set("replaced", "old-value"));
    ASSERT_TRUE(v->set("deleted", "doomed-value"));

    const vault::KeychainError away{24, "the Secret Service did not answer in time"};
    f.keychain->refuseAdds = away;
    f.keychain->refuseRemoves = away;
    ASSERT_TRUE(v->set("replaced", "new-value"));
    ASSERT_TRUE(v->remove("deleted"));
    ASSERT_TRUE(v->set("added", "fresh-value"));
    // The refused add has already cleared the old item in this fake; put it back, as a keychain
    // that never saw the call would still hold it.
    f.keychain->items["replaced"] = "old-value";
    f.keychain->items["deleted"] = "doomed-value";

    EXPECT_EQ(v->get("replaced"), "new-value");
    EXPECT_EQ(v->get("deleted"), std::nullopt);
    EXPECT_EQ(v->allKeys(), (std::vector<std::string>{"added", "replaced"}));
    EXPECT_EQ(v->unsynced(), (std::vector<std::string>{"added", "deleted", "replaced"}));

    // A restart keeps what is still owed to the keychain.
    v = f.open();
    EXPECT_EQ(v->get("replaced"), "new-value");
    EXPECT_EQ(v->unsynced().size(), 3u);

    // The keychain answers again: the next call plays the journal first.
    f.keychain->refuseAdds.reset();
    f.keychain->refuseRemoves.reset();
    EXPECT_EQ(v->get("replaced"), "new-value");
    EXPECT_TRUE(v->unsynced().empty());
    EXPECT_EQ(f.keychain->items,
              (std::map<std::string, std::string>{{"added", "fresh-value"}, {"replaced", "new-value"}}));
    EXPECT_FALSE(fs::exists(f.vaultPath() + ".pending"));
    for (const auto& line : f.logs) EXPECT_EQ(line.find("value"), std::string::npos) << line;
}

// Values cross whole; a key id the keychain cannot hold as given is refused, not shortened.
TEST(Vault, NulInValuesIsKeptAndInKeyIdsRefused) {
    VaultFixture f;
    auto v = f.open();
    const std::string value("abc\0def", 7);
    ASSERT_TRUE(v->set("k", value));
    EXPECT_EQ(f.keychain->items.at("k"), value);
    EXPECT_EQ(f.open()->get("k"), value);
    EXPECT_EQ(f.file().load().items.at("k"), value);

    const std::string nulId("k\0x", 3);
    EXPECT_FALSE(v->set(nulId, "v"));
    EXPECT_FALSE(v->remove(nulId));
    EXPECT_EQ(v->get(nulId), std::nullopt);
    EXPECT_EQ(f.keychain->items.count("k"), 1u);
    EXPECT_EQ(f.keychain->items.at("k"), value);
}

// Makes a folder refuse new files: immutable where we may set that (root ignores permissions),
// else closed to writing. False when neither holds.
bool lockFolder(const std::string& path, bool lock) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = lock ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) close(fd);
    if (done) return true;
    return geteuid() != 0 && chmod(path.c_str(), lock ? 0500 : 0700) == 0;
}

// With a folder that takes no file, a change is refused, and what the vault answers afterwards, in
// this run and the next, agrees with the refusal: with the keychain away, nothing holds the change;
// with it there, a delete would come back from the file.
TEST(Vault, AChangeThatCannotBeStoredIsRefusedAndForgotten) {
    for (bool keychainAway : {true, false}) {
        SCOPED_TRACE(keychainAway ? "keychain away" : "keychain there");
        VaultFixture f;
        auto v = f.open();
        ASSERT_TRUE(v->set("kept", "old-value"));
        const std::string folder = fs::path(f.vaultPath()).parent_path().string();
        if (!lockFolder(folder, true)) GTEST_SKIP() << "cannot make a folder refuse new files here";
        if (keychainAway) {
            f.keychain->items.clear();
            f.keychain->refuseAdds = f.keychain->refuseRemoves = vault::KeychainError{24, "no answer"};
        }

        EXPECT_EQ(v->set("added", "new-value"), !keychainAway);
        EXPECT_EQ(v->set("kept", "changed-value"), !keychainAway);
        EXPECT_FALSE(v->remove("kept"));
        auto state = [&](vault::Vault& vault) {
            return std::make_tuple(vault.get("added"), vault.get("kept"), vault.allKeys());
        };
        auto now = state(*v);
        lockFolder(folder, false);
        f.keychain->refuseAdds.reset();
        f.keychain->refuseRemoves.reset();
        EXPECT_EQ(now, state(*f.open()));
        EXPECT_EQ(std::get<1>(now), keychainAway ? "old-value" : "changed-value");
        EXPECT_EQ(std::get<0>(now).has_value(), !keychainAway);
    }
}

// A journal without its vault file: a delete still reaches the keychain, but a set whose value
// went with the file leaves the keychain's item, now the key's last copy, alone.
TEST(Vault, AMissingFileKeepsTheKeychainItemsItsJournalWouldReplace) {
    VaultFixture f;
    auto v = f.open();
    ASSERT_TRUE(v->set("set-later", "keychain-copy"));
    ASSERT_TRUE(v->set("deleted-later", "doomed"));
    f.keychain->refuseAdds = f.keychain->refuseRemoves = vault::KeychainError{24, "no answer"};
    ASSERT_TRUE(v->set("set-later", "only-in-the-file"));
    ASSERT_TRUE(v->remove("deleted-later"));
    f.keychain->items = {{"set-later", "keychain-copy"}, {"deleted-later", "doomed"}};
    ASSERT_TRUE(fs::exists(f.vaultPath() + ".pending"));

    fs::remove(f.vaultPath());
    f.keychain->refuseAdds.reset();
    f.keychain->refuseRemoves.reset();
    v = f.open();
    EXPECT_TRUE(v->replay());
    EXPECT_EQ(f.keychain->items, (std::map<std::string, std::string>{{"set-later", "keychain-copy"}}));
    EXPECT_EQ(v->get("set-later"), "keychain-copy");
    EXPECT_FALSE(fs::exists(f.vaultPath() + ".pending"));
}

// A vault file write that a kill cut short left its temporary file; the next start removes it, but
// not one as new as this process (another run may be writing it).
TEST(Vault, AStartRemovesTheTemporariesOfEarlierRuns) {
    VaultFixture f;
    f.open()->set("k", "v");
    const std::string folder = fs::path(f.vaultPath()).parent_path().string();
    f.dir.write("data/TAVRIK/.vault.dat.tavrik-Ab12Cd", "half a vault");
    f.dir.write("data/TAVRIK/.vault.dat.tavrik-Ef34Gh", "a vault being written now");
    const struct timespec earlier[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};  // 2001
    ASSERT_EQ(utimensat(AT_FDCWD, (folder + "/.vault.dat.tavrik-Ab12Cd").c_str(), earlier, 0), 0);

    EXPECT_EQ(f.open()->get("k"), "v");
    EXPECT_FALSE(fs::exists(folder + "/.vault.dat.tavrik-Ab12Cd"));
    EXPECT_TRUE(fs::exists(folder + "/.vault.dat.tavrik-Ef34Gh"));
}

}  // namespace
