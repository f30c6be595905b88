#pragma once
// Fakes of the platform seams for unit tests: they do only what the test tells them.
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bridge/page_channel.h"
#include "common/desktop.h"
#include "common/main_queue.h"
#include "common/settings_store.h"

namespace fakes {

// Tasks wait until the test runs them.
class ManualQueue final : public common::MainQueue {
public:
    void post(Task task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    // Runs queued tasks (and those they post) in order; returns how many ran.
    int runAll() {
        int n = 0;
        for (;;) {
            Task t;
            {
                std::lock_guard lock(mutex_);
                if (tasks_.empty()) return n;
                t = std::move(tasks_.front());
                tasks_.pop_front();
            }
            t();
            ++n;
        }
    }
    std::size_t pending() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

private:
    std::mutex mutex_;
    std::deque<Task> tasks_;
};

// Records every evaluated script; answers evaluateThen with what the test queued.
class RecordingPage final : public bridge::PageChannel {
public:
    bool isAlive = true;
    std::vector<std::string> scripts;
    std::optional<bool> nextAnswer;  // for evaluateThen
    bool alive() const override { return isAlive; }
    void evaluate(const std::string& s) override {
        if (isAlive) scripts.push_back(s);
    }
    void evaluateThen(const std::string& s, std::function<void(std::optional<bool>)> done) override {
        if (isAlive) scripts.push_back(s);
        done(isAlive ? nextAnswer : std::nullopt);
    }
};

class RecordingDesktop final : public common::Desktop {
public:
    int beeps = 0;
    std::vector<std::string> opened;
    void beep() override { ++beeps; }
    void openUri(const std::string& uri) override { opened.push_back(uri); }
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

}  // namespace fakes
