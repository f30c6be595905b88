// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fakes of the platform seams for unit tests: they do only what the test tells them.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bridge/page_channel.h"
#include "bridge/page_sink.h"
#include "common/desktop.h"
#include "common/main_queue.h"
#include "common/settings_store.h"

namespace fakes {

// Tasks wait until the test runs them: all that is queued now (runAll), or, while workers post
// from other threads, until a condition holds (runUntil), waking as soon as a task arrives.
class ManualQueue final : public common::MainQueue {
public:
    void post(Task task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_all();
    }
    // Runs queued tasks (and those they post) in order; returns how many ran.
    int runAll() {
        int n = 0;
        while (Task t = take()) {
            t();
            ++n;
        }
        return n;
    }
    // Runs tasks in order until done() holds; false when the limit passes first.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            Task t;
            {
                std::unique_lock lock(mutex_);
                if (!wake_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) return done();
                t = std::move(tasks_.front());
                tasks_.pop_front();
            }
            t();
        }
        return true;
    }
    std::size_t pending() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

private:
    Task take() {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return nullptr;
        Task t = std::move(tasks_.front());
        tasks_.pop_front();
        return t;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
};

// Records every evaluated script. Like the real channel, evaluateThen never answers inside the
// call: each completion waits until the test answers it, and a page gone by then answers nothing.
class RecordingPage final : public bridge::PageChannel {
public:
    bool isAlive = true;
    std::vector<std::string> scripts;
    std::deque<std::function<void(std::optional<bool>)>> unanswered;
    bool alive() const override { return isAlive; }
    void evaluate(const std::string& s) override {
        if (isAlive) scripts.push_back(s);
    }
    void evaluateThen(const std::string& s, std::function<void(std::optional<bool>)> done) override {
        if (isAlive) scripts.push_back(s);
        unanswered.push_back(std::move(done));
    }
    // Completes the oldest evaluation still waiting; false when none is.
    bool answerNext(std::optional<bool> result) {
        if (unanswered.empty()) return false;
        auto done = std::move(unanswered.front());
        unanswered.pop_front();
        done(isAlive ? result : std::nullopt);
        return true;
    }
};

class RecordingDesktop final : public common::Desktop {
public:
    int beeps = 0;
    std::vector<std::string> opened;
    void beep() override { ++beeps; }
    void openUri(const std::string& uri) override { opened.push_back(uri); }
    std::vector<std::string> runsCode;  // names whose files this desktop would run
    bool launchesCode(const std::string& name, const common::Bytes&) override {
        return std::find(runsCode.begin(), runsCode.end(), name) != runsCode.end();
    }
};

class MemorySettings final : public common::SettingsStore {
public:
    std::map<std::string, std::string> values;
    std::optional<std::string> get(const std::string& key) override {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void set(const std::string& key, const std::string& value) override { values[key] = value; }
};

// A page sink that drops every call; a test fake overrides the calls it watches. Its callThen never
// answers.
class NullSink : public bridge::PageSink {
public:
    bool alive() const override { return true; }
    void pushFunction(std::string, json::Value) override {}
    void pushPositional(std::string, json::Array) override {}
    void pushWrapped(std::string, json::Value) override {}
    void callGuarded(std::string, json::Value) override {}
    void callGuardedPositional(std::string, json::Array) override {}
    void pushScript(std::string) override {}
    void callThen(std::string, Done) override {}
    void carryThen(std::string, std::string, Done) override {}
};

}  // namespace fakes
