// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/default_stamp.h"

namespace common {

std::string defaultStampAt(const std::string& prefix, const std::string& ext, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M", &local);
    return prefix + "-" + buf + "." + ext;
}

std::string defaultStamp(const std::string& prefix, const std::string& ext) {
    return defaultStampAt(prefix, ext, std::time(nullptr));
}

}  // namespace common
