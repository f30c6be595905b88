// SPDX-License-Identifier: GPL-3.0-or-later
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

// A function of the message's context that prepares a string argument for reading whole:
// - jsc_value_to_string stops at a NUL and at a lone surrogate, jsc_value_to_string_as_bytes only at
//   the latter: every lone surrogate becomes U+FFFD, and the result is read as UTF-8 bytes;
// - a large string that is standard base64, bare or as a data URL (uploads, dropped files, exports),
//   comes back as [its "data:…;base64," prefix, its bytes] decoded by the engine, and is kept as
//   those bytes (json::EncodedString): that skips WebKit's export of the whole string to UTF-8,
//   which costs about as much as the message's trip from the page, and the handler's decoding.
//   Only a canonical encoding (strict padding, no spaces) goes this way, so the text, when it is
//   made, is the text sent.
// Made once per message (a few microseconds); kept on the context, it would keep the context alive.
constexpr const char* kReader =
    "(() => {"
    " const whole = String.prototype.toWellFormed ? s => s.toWellFormed()"
    "  : s => s.replace(/[\\uD800-\\uDBFF](?![\\uDC00-\\uDFFF])|(?<![\\uD800-\\uDBFF])[\\uDC00-\\uDFFF]/g, '\\uFFFD');"
    " const decode = typeof Uint8Array.fromBase64 === 'function' && (s => {"
    "  let start = 0;"
    "  if (s.startsWith('data:')) {"
    "   start = s.indexOf(',') + 1;"
    "   if (start <= 0 || start > 512 || !s.slice(0, start).endsWith(';base64,')) return null;"
    "  } else if (!/^[A-Za-z0-9+\\/]/.test(s)) return null;"  // a board's JSON text, say: no decoding tried
    "  const body = s.slice(start);"
    "  if (body.length % 4) return null;"
    "  let bytes;"
    "  try { bytes = Uint8Array.fromBase64(body, { lastChunkHandling: 'strict' }); } catch { return null; }"
    "  const pad = body.endsWith('==') ? 2 : body.endsWith('=') ? 1 : 0;"
    "  return bytes.length === body.length / 4 * 3 - pad ? [whole(s.slice(0, start)), bytes] : null;"
    " });"
    " return s => (decode && s.length >= 262144 && decode(s)) || whole(s);"  // a PDF upload's chunk and up
    "})()";

gobj::GRef<JSCValue> readerFunction(JSCValue* message) {
    JSCContext* context = jsc_value_get_context(message);
    if (!context) return {};
    auto fn = gobj::adopt(jsc_context_evaluate(context, kReader, -1));
    if (!fn || !jsc_value_is_function(fn.get())) {
        jsc_context_clear_exception(context);
        return {};
    }
    return fn;
}

std::string bytesOf(JSCValue* string) {
    g_autoptr(GBytes) bytes = jsc_value_to_string_as_bytes(string);
    gsize size = 0;
    const char* data = bytes ? static_cast<const char*>(g_bytes_get_data(bytes, &size)) : nullptr;
    return data ? std::string(data, size) : std::string();
}

json::Value readString(JSCValue* v, JSCValue* reader) {
    gobj::GRef<JSCValue> prepared;
    if (reader) prepared = gobj::adopt(jsc_value_function_call(reader, JSC_TYPE_VALUE, v, G_TYPE_NONE));
    if (!prepared || !(jsc_value_is_string(prepared.get()) || jsc_value_is_array(prepared.get()))) {
        // Out of memory for the copy, say: read the string as it is rather than leave a pending
        // exception in the shared context.
        if (reader) jsc_context_clear_exception(jsc_value_get_context(v));
        return json::Value(bytesOf(v));
    }
    if (jsc_value_is_string(prepared.get())) return json::Value(bytesOf(prepared.get()));
    auto prefix = gobj::adopt(jsc_value_object_get_property_at_index(prepared.get(), 0));
    auto decoded = gobj::adopt(jsc_value_object_get_property_at_index(prepared.get(), 1));
    gsize size = 0;
    auto* data = decoded && jsc_value_is_typed_array(decoded.get())
                     ? static_cast<const std::uint8_t*>(jsc_value_typed_array_get_data(decoded.get(), &size))
                     : nullptr;
    if (!prefix || !data) return json::Value(bytesOf(v));
    return json::Value(json::EncodedString(bytesOf(prefix.get()), common::Bytes(data, data + size)));
}

json::Value convert(JSCValue* v, JSCValue* reader, int depthLeft, long& budget);

// The object's own enumerable members as Object.entries gives them, each name read as a string
// value: a NUL stays in it and a lone surrogate becomes U+FFFD, as in any other string.
json::Value readEntries(JSCValue* v, JSCValue* reader, int depthLeft, long& budget) {
    JSCContext* context = jsc_value_get_context(v);
    auto entriesOf = gobj::adopt(jsc_context_evaluate(context, "(o => Object.entries(o))", -1));
    auto entries = entriesOf && jsc_value_is_function(entriesOf.get())
                       ? gobj::adopt(jsc_value_function_call(entriesOf.get(), JSC_TYPE_VALUE, v, G_TYPE_NONE))
                       : gobj::GRef<JSCValue>{};
    if (!entries || !jsc_value_is_array(entries.get())) {
        jsc_context_clear_exception(context);
        budget = -1;  // unreadable: the message is dropped whole
        return json::Value();
    }
    auto length = gobj::adopt(jsc_value_object_get_property(entries.get(), "length"));
    double n = length ? jsc_value_to_double(length.get()) : 0;
    json::Object out;
    for (unsigned i = 0; i < n && budget >= 0; ++i) {
        auto pair = gobj::adopt(jsc_value_object_get_property_at_index(entries.get(), i));
        auto name = pair ? gobj::adopt(jsc_value_object_get_property_at_index(pair.get(), 0)) : gobj::GRef<JSCValue>{};
        auto item = pair ? gobj::adopt(jsc_value_object_get_property_at_index(pair.get(), 1)) : gobj::GRef<JSCValue>{};
        if (!name || !jsc_value_is_string(name.get())) continue;
        json::Value key = readString(name.get(), reader);
        std::string text = key.string() ? *key.string() : std::string();
        --budget;
        out.emplace_back(std::move(text), item ? convert(item.get(), reader, depthLeft - 1, budget) : json::Value());
    }
    return json::Value(std::move(out));
}

json::Value convert(JSCValue* v, JSCValue* reader, int depthLeft, long& budget) {
    if (--budget < 0) return json::Value();
    if (jsc_value_is_string(v)) return readString(v, reader);
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
            out.push_back(item ? convert(item.get(), reader, depthLeft - 1, budget) : json::Value());
        }
        return json::Value(std::move(out));
    }
    if (jsc_value_is_object(v) && !jsc_value_is_function(v)) {
        json::Object out;
        g_auto(GStrv) keys = jsc_value_object_enumerate_properties(v);
        for (char** k = keys; k && *k && budget >= 0; ++k) {
            // The names come as C strings: one with a NUL or a lone surrogate is cut, and reads
            // back as no property. Such an object is read again with its names whole.
            if (!jsc_value_object_has_property(v, *k)) return readEntries(v, reader, depthLeft, budget);
            auto item = gobj::adopt(jsc_value_object_get_property(v, *k));
            out.emplace_back(*k, item ? convert(item.get(), reader, depthLeft - 1, budget) : json::Value());
        }
        return json::Value(std::move(out));
    }
    return json::Value();  // null, undefined, functions
}

}  // namespace

json::Value fromJsc(JSCValue* value, int maxDepth) {
    if (!value) return json::Value();
    long budget = kNodeBudget;
    auto reader = readerFunction(value);
    json::Value out = convert(value, reader.get(), maxDepth, budget);
    return budget < 0 ? json::Value() : out;
}

}  // namespace bridge
