#include "bridge/webkit_script_message.h"

#include <glib.h>

#include <algorithm>
#include <cmath>

#include "gobj/handles.h"

namespace bridge {
namespace {

// Every array element and object member costs one; a message over budget is dropped whole
// rather than walked for seconds on the main thread.
constexpr long kNodeBudget = 1'000'000;

json::Value convert(JSCValue* v, int depthLeft, long& budget) {
    if (--budget < 0) return json::Value();
    if (jsc_value_is_string(v)) {
        g_autofree char* s = jsc_value_to_string(v);
        return json::Value(std::string(s ? s : ""));
    }
    if (jsc_value_is_number(v)) {
        double d = jsc_value_to_double(v);
        return std::isfinite(d) ? json::Value(d) : json::Value();
    }
    if (jsc_value_is_boolean(v)) return json::Value(jsc_value_to_boolean(v) != FALSE);
    if (depthLeft <= 0) return json::Value();
    if (jsc_value_is_array(v)) {
        auto length = gobj::adopt(jsc_value_object_get_property(v, "length"));
        double n = length ? jsc_value_to_double(length.get()) : 0;
        json::Array out;
        if (!(n > 0)) return json::Value(std::move(out));
        auto count = static_cast<unsigned>(std::min(n, 4294967295.0));
        out.reserve(std::min(count, 1u << 16));
        if (count > static_cast<unsigned long>(std::max(budget, 0L))) {
            budget = -1;
            return json::Value();
        }
        for (unsigned i = 0; i < count && budget >= 0; ++i) {
            auto item = gobj::adopt(jsc_value_object_get_property_at_index(v, i));
            out.push_back(item ? convert(item.get(), depthLeft - 1, budget) : json::Value());
        }
        return json::Value(std::move(out));
    }
    if (jsc_value_is_object(v) && !jsc_value_is_function(v)) {
        json::Object out;
        g_auto(GStrv) keys = jsc_value_object_enumerate_properties(v);
        for (char** k = keys; k && *k && budget >= 0; ++k) {
            auto item = gobj::adopt(jsc_value_object_get_property(v, *k));
            out.emplace_back(*k, item ? convert(item.get(), depthLeft - 1, budget) : json::Value());
        }
        return json::Value(std::move(out));
    }
    return json::Value();  // null, undefined, functions
}

}  // namespace

json::Value fromJsc(JSCValue* value, int maxDepth) {
    if (!value) return json::Value();
    long budget = kNodeBudget;
    json::Value out = convert(value, maxDepth, budget);
    return budget < 0 ? json::Value() : out;
}

}  // namespace bridge
