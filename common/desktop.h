// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

#include "common/bytes.h"

namespace common {

// What the desktop does for us outside the window: the bell and default applications.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual void beep() = 0;
    // Opens a URI (file:// or https://) with the user's default application; the outcome is ignored.
    virtual void openUri(const std::string& uri) = 0;
    // True when the default application for a file of this name and content could run code in it:
    // a program, a script, a launcher. The shell never opens such a file.
    virtual bool launchesCode(const std::string& name, const common::Bytes& content) = 0;
};

}  // namespace common
