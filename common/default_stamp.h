// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <ctime>
#include <string>

namespace common {

// prefix + "-" + local "yyyyMMdd-HHmm" + "." + ext, e.g. TAVRIK-20250305-1407.json.
std::string defaultStamp(const std::string& prefix, const std::string& ext);
std::string defaultStampAt(const std::string& prefix, const std::string& ext, std::time_t when);

}  // namespace common
