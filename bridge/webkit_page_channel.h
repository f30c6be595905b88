// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <webkit/webkit.h>

#include "bridge/page_channel.h"
#include "gobj/handles.h"

namespace bridge {

// The page channel over the main WebKitWebView, held weakly (the bridge never owns the view).
class WebkitPageChannel final : public PageChannel {
public:
    explicit WebkitPageChannel(WebKitWebView* view) : view_(view) {}
    bool alive() const override;
    void evaluate(const std::string& script) override;
    bool call(const pagecall::LiftedCall& call) override;
    void evaluateThen(const std::string& script, std::function<void(std::optional<bool>)> done) override;
    void carryThen(const std::string& body, const std::string& text,
                   std::function<void(std::optional<bool>)> done) override;

private:
    gobj::Weak<WebKitWebView> view_;
};

}  // namespace bridge
