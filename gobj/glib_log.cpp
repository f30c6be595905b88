// SPDX-License-Identifier: GPL-3.0-or-later
#include <glib.h>

#include <mutex>
#include <string>

#include "common/log.h"

namespace common::log {
namespace {

std::mutex sinkMutex;
Sink& sink() {
    static Sink s;
    return s;
}

void write(Level level, std::string_view line) {
    {
        std::lock_guard lock(sinkMutex);
        if (sink()) return sink()(level, line);
    }
    GLogLevelFlags flags = level == Level::Warning ? G_LOG_LEVEL_WARNING
                           : level == Level::Info  ? G_LOG_LEVEL_INFO
                                                   : G_LOG_LEVEL_DEBUG;
    std::string text(line);
    // Structured, so the journal keeps the domain as a field; info and debug lines are shown only
    // when G_MESSAGES_DEBUG names the domain.
    g_log_structured("tavrik", flags, "MESSAGE", "%s", text.c_str());
}

}  // namespace

void warning(std::string_view line) { write(Level::Warning, line); }
void info(std::string_view line) { write(Level::Info, line); }
void debug(std::string_view line) { write(Level::Debug, line); }

void setSink(Sink s) {
    std::lock_guard lock(sinkMutex);
    sink() = std::move(s);
}

}  // namespace common::log
