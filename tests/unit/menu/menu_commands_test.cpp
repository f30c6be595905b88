// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/menu_commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "bridge/bridge.h"
#include "fakes/fakes.h"
#include "menu/l10n.h"
#include "menu/main_menu.h"
#include "menu/recent_boards.h"
#include "support/json_text.h"

namespace {

const std::string kGuard = "window.__menuAction && window.__menuAction(\"";

TEST(MenuCommands, EveryTagHasItsPageCall) {
    struct Case {
        int tag;
        std::optional<std::string> command;  // the __menuAction argument; "saveJSON" for tag 0
    };
    const Case cases[] = {
        {0, "saveJSON"},       {1, "openJSON"},       {2, "export:png"},     {3, "export:jpg"},
        {4, "export:pdf"},     {5, "export:docx"},    {6, "export:pptx"},    {7, "export:odp"},
        {8, "export:odt"},     {9, "importPaper"},    {201, "export:png:1"}, {203, "export:png:3"},
        {205, "export:png:5"}, {301, "export:jpg:1"}, {305, "export:jpg:5"}, {400, "zoomsens:0.4"},
        {401, "zoomsens:0.7"}, {402, "zoomsens:1.0"}, {403, "zoomsens:1.8"}, {404, "zoomsens:2.8"},
        {-1, std::nullopt},    {10, std::nullopt},    {200, std::nullopt},   {206, std::nullopt},
        {300, std::nullopt},   {306, std::nullopt},   {399, std::nullopt},   {405, std::nullopt},
        {500, std::nullopt},   {505, std::nullopt},   {511, std::nullopt},   {600, "zoom:fit"},
        {601, "zoom:100"},     {599, std::nullopt},   {602, std::nullopt},   {700, "new"},
        {701, "saveAs"},       {702, "undo"},         {703, "redo"},         {704, std::nullopt},
        {710, std::nullopt},   {720, std::nullopt},
    };
    for (const auto& c : cases) {
        auto call = menu::pageCallForTag(c.tag);
        if (!c.command) {
            EXPECT_FALSE(call) << c.tag << ": " << call.value_or("");
        } else if (*c.command == "saveJSON") {
            EXPECT_EQ(call, "typeof saveJSON==='function' && saveJSON()");
        } else {
            EXPECT_EQ(call, kGuard + *c.command + "\")") << c.tag;
        }
    }
    const std::pair<int, std::optional<std::string>> langs[] = {
        {500, "auto"}, {501, "zh-Hans"},    {502, "zh-Hant"},   {507, "de"},
        {510, "ko"},   {499, std::nullopt}, {511, std::nullopt}};
    for (const auto& [tag, code] : langs) EXPECT_EQ(menu::langCodeForTag(tag), code) << tag;
    EXPECT_EQ(menu::setLangCall("zh-Hant"), "window.__setLang && window.__setLang(\"zh-Hant\")");
}

// A stored choice that is no plain language tag reaches the page as the menus' fallback.
TEST(MenuCommands, AStoredChoiceReachesThePageOnlyAsAPlainTag) {
    const std::pair<std::string, std::string> cases[] = {{"auto", "auto"},
                                                         {"zh-Hant", "zh-Hant"},
                                                         {"xx", "xx"},
                                                         {"pt-BR", "pt-BR"},
                                                         {"", "en"},
                                                         {"-de", "en"},
                                                         {"de'", "en"},
                                                         {"x');alert(1);('", "en"},
                                                         {"de\\", "en"},
                                                         {"ja\n", "en"},
                                                         {std::string(36, 'a'), "en"}};
    for (const auto& [stored, sent] : cases) EXPECT_EQ(menu::storedLangCall(stored), menu::setLangCall(sent)) << stored;
}

TEST(MenuCommands, FactorsAreWrittenAsTheShortestDecimalWithAPoint) {
    const std::pair<double, const char*> cases[] = {
        {0.4, "0.4"}, {1.0, "1.0"}, {2.8, "2.8"}, {2.0, "2.0"}, {1.8004, "1.8004"}, {0.1 + 0.2, "0.30000000000000004"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(menu::factorText(value), text);
}

// Records the menu bar's installs and check mark moves, and the pages' calls, in one log.
struct Log {
    std::vector<std::string> lines;
};
struct RecordingView : menu::MenuView {
    Log& log;
    explicit RecordingView(Log& l) : log(l) {}
    void install(const menu::Menu& bar) override { log.lines.push_back("install " + bar.items[1].shownTitle()); }
    void setChecked(int tag, bool on) override {
        if (on) log.lines.push_back("check " + std::to_string(tag));
    }
};
struct RecordingPages : menu::WindowPages {
    Log& log;
    explicit RecordingPages(Log& l) : log(l) {}
    void evaluateInEveryWindow(const std::string& script) override { log.lines.push_back(script); }
    void historyStep(History step, const std::string& pageCall) override {
        log.lines.push_back(std::string(step == History::Undo ? "undo " : "redo ") + pageCall);
    }
};
struct FakeRecent : menu::RecentBoards {
    std::vector<std::string> paths;
    std::function<void()> changed;
    int cleared = 0;
    std::vector<std::string> list(std::size_t limit) override {
        return {paths.begin(), paths.begin() + std::min(limit, paths.size())};
    }
    void add(const std::string& path) override { paths.insert(paths.begin(), path); }
    void clear() override {
        ++cleared;
        paths.clear();
    }
    void setChangedObserver(std::function<void()> c) override { changed = std::move(c); }
};

struct MenuFixture : ::testing::Test {
    fakes::MemorySettings settings;
    fakes::ManualQueue queue;
    Log log;
    std::shared_ptr<menu::MainMenu> mainMenu = std::make_shared<menu::MainMenu>(
        queue, std::make_shared<RecordingView>(log), std::make_shared<RecordingPages>(log));
    std::shared_ptr<fakes::RecordingPage> page = std::make_shared<fakes::RecordingPage>();
    std::shared_ptr<bridge::Bridge> bridge = std::make_shared<bridge::Bridge>(queue, page);

    std::optional<std::string> savedLanguage;

    // The system language is Simplified Chinese, so "auto" reads the keys themselves.
    MenuFixture() {
        if (const char* v = std::getenv("LANGUAGE")) savedLanguage = v;
        setenv("LANGUAGE", "zh_CN.UTF-8", 1);
        menu::L10N::setStore(&settings);
        bridge::addMenuCommands(bridge->commands(), mainMenu);
    }
    ~MenuFixture() override {
        menu::L10N::setStore(nullptr);
        if (savedLanguage)
            setenv("LANGUAGE", savedLanguage->c_str(), 1);
        else
            unsetenv("LANGUAGE");
    }

    void receive(const std::string& text) {
        auto v = testsupport::parseJson(text);
        ASSERT_TRUE(v) << text;
        bridge->receive(*v);
    }
    std::vector<int> checkedSens() const {
        std::vector<int> on;
        for (auto* item : mainMenu->sensItems())
            if (item->checked) on.push_back(item->tag);
        return on;
    }
    std::vector<std::string> checkedLang() const {
        std::vector<std::string> on;
        for (auto* item : mainMenu->langItems())
            if (item->checked) on.push_back(item->title);
        return on;
    }
};

TEST_F(MenuFixture, MenuChoicesReachThePageInOrder) {
    struct Case {
        int tag;
        std::string storedBefore;  // "" = nothing stored
        std::vector<std::string> log;
        std::string storedAfter;
    };
    const Case cases[] = {
        {4, "", {kGuard + "export:pdf\")"}, ""},
        {0, "de", {"typeof saveJSON==='function' && saveJSON()"}, "de"},
        {205, "", {kGuard + "export:png:5\")"}, ""},
        // The check mark moves before the page hears of it.
        {402, "", {"check 402", kGuard + "zoomsens:1.0\")"}, ""},
        {403, "", {"check 403", kGuard + "zoomsens:1.8\")"}, ""},
        // A language is stored and the menu rebuilt in it before the page is told, even when unchanged.
        {507, "", {"install Ablage", "window.__setLang && window.__setLang(\"de\")"}, "de"},
        {503, "en", {"install File", "window.__setLang && window.__setLang(\"en\")"}, "en"},
        // Follow the system sends "auto", not the language it resolves to.
        {500, "fr", {"install 文件", "window.__setLang && window.__setLang(\"auto\")"}, "auto"},
        {42, "ja", {}, "ja"},
    };
    for (const auto& c : cases) {
        settings.values.clear();
        if (!c.storedBefore.empty()) settings.values["tavrik.lang"] = c.storedBefore;
        mainMenu->buildMenu();
        log.lines.clear();
        mainMenu->menuAction(c.tag);
        EXPECT_EQ(log.lines, c.log) << c.tag;
        auto stored = settings.values.count("tavrik.lang") ? settings.values["tavrik.lang"] : "";
        EXPECT_EQ(stored, c.storedAfter) << c.tag;
        EXPECT_EQ(queue.pending(), 0u) << c.tag;
    }
    settings.values["tavrik.lang"] = "ja";
    mainMenu->menuAction(504);
    EXPECT_EQ(checkedLang(), std::vector<std::string>{"日本語"});
}

TEST_F(MenuFixture, MenuStateMovesTheSensitivityCheckMarkAfterTheMessage) {
    mainMenu->buildMenu();
    struct Case {
        const char* message;
        std::vector<int> checked;
    };
    const Case cases[] = {
        {R"({"action":"menuState","sens":1.8})", {403}},
        {R"({"action":"menuState","sens":"0.4"})", {403}},  // a string is ignored
        {R"({"action":"menuState","sens":true})", {403}},   // so is a boolean
        {R"({"action":"menuState"})", {403}},
        {R"({"action":"menuState","sens":1.8004})", {403}},
        {R"({"action":"menuState","sens":0.4})", {400}},
        {R"({"action":"menuState","sens":1.5})", {}},
        {R"({"action":"menuState","sens":2})", {}},
        {R"({"action":"menuState","sens":2.8})", {404}},
    };
    for (const auto& c : cases) {
        auto before = checkedSens();
        receive(c.message);
        EXPECT_EQ(checkedSens(), before) << c.message << ": must wait for the main queue";
        queue.runAll();
        EXPECT_EQ(checkedSens(), c.checked) << c.message;
    }
    mainMenu->syncSensMenu(std::nan(""));
    EXPECT_EQ(checkedSens(), std::vector<int>{});
    // A rebuild puts the mark back on the standard sensitivity.
    mainMenu->syncSensMenu(2.8);
    receive(R"({"action":"langChanged","lang":"fr"})");
    queue.runAll();
    EXPECT_EQ(checkedSens(), std::vector<int>{402});
    EXPECT_TRUE(page->scripts.empty());
}

TEST_F(MenuFixture, LangChangedStoresNewCodesAndRebuildsLater) {
    mainMenu->buildMenu();
    struct Case {
        std::string stored;
        const char* message;
        std::string storedAfter;
        bool rebuilds;
    };
    const Case cases[] = {
        {"fr", R"({"action":"langChanged","lang":"fr"})", "fr", false},
        {"fr", R"({"action":"langChanged","lang":"xx"})", "fr", false},
        {"fr", R"({"action":"langChanged","lang":"DE"})", "fr", false},
        {"fr", R"({"action":"langChanged","lang":7})", "fr", false},
        {"fr", R"({"action":"langChanged"})", "fr", false},
        {"de", R"({"action":"langChanged","lang":"auto"})", "auto", true},
        {"", R"({"action":"langChanged","lang":"auto"})", "", false},  // nothing stored reads as auto
        {"", R"({"action":"langChanged","lang":"ko"})", "ko", true},
    };
    for (const auto& c : cases) {
        settings.values.clear();
        if (!c.stored.empty()) settings.values["tavrik.lang"] = c.stored;
        log.lines.clear();
        receive(c.message);
        auto stored = settings.values.count("tavrik.lang") ? settings.values["tavrik.lang"] : "";
        EXPECT_EQ(stored, c.storedAfter) << c.message;
        EXPECT_TRUE(log.lines.empty()) << c.message << ": the rebuild waits for the main queue";
        queue.runAll();
        EXPECT_EQ(log.lines.size(), c.rebuilds ? 1u : 0u) << c.message;
    }
    settings.values["tavrik.lang"] = "de";
    receive(R"({"action":"langChanged","lang":"auto"})");
    queue.runAll();
    EXPECT_EQ(checkedLang(), std::vector<std::string>{"跟随系统"});
    EXPECT_TRUE(page->scripts.empty());
}

TEST_F(MenuFixture, LateTasksForAGoneMenuDoNothing) {
    mainMenu->buildMenu();
    receive(R"({"action":"menuState","sens":1.8})");
    receive(R"({"action":"langChanged","lang":"it"})");
    mainMenu.reset();
    log.lines.clear();
    EXPECT_EQ(queue.runAll(), 2);
    EXPECT_TRUE(log.lines.empty());
}

// New and Open Recent are the shell's to carry out (they ask over unsaved work first); Undo and Redo
// go by way of the focused text field; the recent list rebuilds the menu without moving the check marks.
TEST_F(MenuFixture, BoardCommandsAndRecentBoardsAreTheShells) {
    auto recent = std::make_shared<FakeRecent>();
    recent->paths = {"/b/two.json", "/a/one.json"};
    std::vector<std::string> asked;
    mainMenu->setRecentBoards(recent);
    mainMenu->setBoardCommands({[&] { asked.push_back("new"); }, [&](std::string p) { asked.push_back(p); }});
    mainMenu->buildMenu();
    log.lines.clear();

    mainMenu->menuAction(menu::kNewTag);
    mainMenu->menuAction(menu::kRecentTagBase + 1);
    mainMenu->menuAction(menu::kRecentTagBase + 2);  // no such item in this build
    EXPECT_EQ(asked, (std::vector<std::string>{"new", "/a/one.json"}));
    mainMenu->menuAction(menu::kUndoTag);
    mainMenu->menuAction(menu::kRedoTag);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"undo " + kGuard + "undo\")", "redo " + kGuard + "redo\")"}));

    // A board used elsewhere joins the list: the menu follows, and the sensitivity stays checked.
    mainMenu->syncSensMenu(1.8);
    recent->add("/c/three.json");
    log.lines.clear();
    recent->changed();
    EXPECT_EQ(log.lines, std::vector<std::string>{"install 文件"});
    EXPECT_TRUE(mainMenu->sensItems()[3]->checked);
    mainMenu->menuAction(menu::kRecentTagBase);
    EXPECT_EQ(asked.back(), "/c/three.json");

    mainMenu->menuAction(menu::kClearRecentTag);
    EXPECT_EQ(recent->cleared, 1);
    asked.clear();
    mainMenu->menuAction(menu::kRecentTagBase);
    EXPECT_TRUE(asked.empty()) << "the cleared list has no items";
    EXPECT_EQ(page->scripts.size(), 0u) << "the page hears of none of it";
}

}  // namespace
