// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <jsc/jsc.h>

#include "common/json.h"

namespace bridge {

// Reads a posted message straight from the JavaScript value, without a round trip through JSON
// text (a 25 MiB data URL would otherwise be copied and parsed twice). Values nested deeper than
// maxDepth read as null: no command field lies that deep, and hostile nesting cannot exhaust
// the stack.
json::Value fromJsc(JSCValue* value, int maxDepth = 32);

}  // namespace bridge
