// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "common/desktop.h"

namespace gobj {

class GtkDesktop final : public common::Desktop {
public:
    void beep() override;
    void openUri(const std::string& uri) override;
    bool launchesCode(const std::string& name, const common::Bytes& content) override;
};

}  // namespace gobj
