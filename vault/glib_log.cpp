#include "vault/glib_log.h"

#include <glib.h>

namespace vault {

void logLine(const std::string& line) {
    g_log_structured("TAVRIK", G_LOG_LEVEL_WARNING, "MESSAGE", "%s", line.c_str());
}

}  // namespace vault
