#include "vault/glib_log.h"

#include "common/log.h"

namespace vault {

void logLine(const std::string& line) { common::log::warning(line); }

}  // namespace vault
