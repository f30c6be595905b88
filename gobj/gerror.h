// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// GError → common::Error, written once.
#include <gio/gio.h>

#include <string>
#include <string_view>

#include "common/result.h"

namespace gobj {

// "<what>: <GError message>", or what alone when there is no error to read.
inline std::string describe(const GError* error, std::string_view what = {}) {
    std::string text(what);
    if (error && error->message) text += (text.empty() ? "" : ": ") + std::string(error->message);
    return text.empty() ? std::string("unknown failure") : text;
}

inline common::Error toError(const GError* error, common::Error::Kind kind, std::string_view what = {}) {
    if (error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) kind = common::Error::Kind::Cancelled;
    return {kind, describe(error, what)};
}

}  // namespace gobj
