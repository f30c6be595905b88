#include <glib.h>

#include "files/render_log.h"

namespace files {

void logLine(const std::string& line) {
    g_log_structured("tavrik", G_LOG_LEVEL_WARNING, "MESSAGE", "%s", line.c_str());
}

}  // namespace files
