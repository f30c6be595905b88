// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/json.h"
#include "drop/rtf_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto text = drop::rtfToText(std::string_view(reinterpret_cast<const char*>(data), size));
    // Whatever comes out must be text the page can be sent.
    if (text && !json::validUtf8(*text)) __builtin_trap();
    return 0;
}
