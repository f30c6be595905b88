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

// A function of the message's context that returns its string argument with every lone surrogate
// replaced by U+FFFD, so the UTF-8 read below holds the whole string: jsc_value_to_string stops at a
// NUL and at a lone surrogate, jsc_value_to_string_as_bytes only at the latter. Made once per
// message (a few microseconds); kept on the context, it would keep the context alive for good.
gobj::GRef<JSCValue> wellFormedFunction(JSCValue* message) {
    JSCContext* context = jsc_value_get_context(message);
    if (!context) return {};
    auto fn = gobj::adopt(jsc_context_evaluate(
        context,
        "(String.prototype.toWellFormed ? s => s.toWellFormed()"
        " : s => s.replace(/[\\uD800-\\uDBFF](?![\\uDC00-\\uDFFF])|(?<![\\uD800-\\uDBFF])[\\uDC00-\\uDFFF]/g,"
        " '\\uFFFD'))",
        -1));
    if (!fn || !jsc_value_is_function(fn.get())) return {};
    return fn;
}

std::string readString(JSCValue* v, JSCValue* wellFormed) {
    gobj::GRef<JSCValue> whole;
    if (wellFormed) whole = gobj::adopt(jsc_value_function_call(wellFormed, JSC_TYPE_VALUE, v, G_TYPE_NONE));
    if (wellFormed && (!whole || !jsc_value_is_string(whole.get()))) {
        // Out of memory for the copy, say: read the string as it is rather than leave a pending
        // exception in the shared context.
        jsc_context_clear_exception(jsc_value_get_context(v));
        whole.reset();
    }
    g_autoptr(GBytes) bytes = jsc_value_to_string_as_bytes(whole ? whole.get() : v);
    gsize size = 0;
    const char* data = bytes ? static_cast<const char*>(g_bytes_get_data(bytes, &size)) : nullptr;
    return data ? std::string(data, size) : std::string();
}

json::Value convert(JSCValue* v, JSCValue* wellFormed, int depthLeft, long& budget) {
    if (--budget < 0) return json::Value();
    if (jsc_value_is_string(v)) return json::Value(readString(v, wellFormed));
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
            out.push_back(item ? convert(item.get(), wellFormed, depthLeft - 1, budget) : json::Value());
        }
        return json::Value(std::move(out));
    }
    if (jsc_value_is_object(v) && !jsc_value_is_function(v)) {
        json::Object out;
        g_auto(GStrv) keys = jsc_value_object_enumerate_properties(v);
        for (char** k = keys; k && *k && budget >= 0; ++k) {
            auto item = gobj::adopt(jsc_value_object_get_property(v, *k));
            out.emplace_back(*k, item ? convert(item.get(), wellFormed, depthLeft - 1, budget) : json::Value());
        }
        return json::Value(std::move(out));
    }
    return json::Value();  // null, undefined, functions
}

}  // namespace

json::Value fromJsc(JSCValue* value, int maxDepth) {
    if (!value) return json::Value();
    long budget = kNodeBudget;
    auto wellFormed = wellFormedFunction(value);
    json::Value out = convert(value, wellFormed.get(), maxDepth, budget);
    return budget < 0 ? json::Value() : out;
}

}  // namespace bridge
