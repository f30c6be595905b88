// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/webkit_page_channel.h"

#include <glib.h>

#include <cstring>

namespace bridge {
namespace {

// A lifted string was checked when it was lifted (valid UTF-8, no NUL): GVariant need not measure
// and check it again, two more passes over a page picture's 850 KB.
GVariant* checkedString(const std::string& s) {
    auto* copy = static_cast<char*>(g_malloc(s.size() + 1));
    std::memcpy(copy, s.c_str(), s.size() + 1);
    return g_variant_new_from_data(G_VARIANT_TYPE_STRING, copy, s.size() + 1, TRUE, g_free, copy);
}

using Done = std::function<void(std::optional<bool>)>;

void evaluated(GObject* source, GAsyncResult* result, gpointer data) noexcept {
    std::unique_ptr<Done> done(static_cast<Done*>(data));
    g_autoptr(GError) error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    std::optional<bool> answer;
    if (value) {
        if (jsc_value_is_boolean(value)) answer = jsc_value_to_boolean(value) != FALSE;
        g_object_unref(value);
    }
    (*done)(answer);
}

void called(GObject* source, GAsyncResult* result, gpointer data) noexcept {
    std::unique_ptr<Done> done(static_cast<Done*>(data));
    g_autoptr(GError) error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
    std::optional<bool> answer;
    if (value) {
        if (jsc_value_is_boolean(value)) answer = jsc_value_to_boolean(value) != FALSE;
        g_object_unref(value);
    }
    (*done)(answer);
}

}  // namespace

bool WebkitPageChannel::alive() const { return view_.lock() != nullptr; }

void WebkitPageChannel::evaluate(const std::string& script) {
    auto view = view_.lock();
    if (!view) return;
    webkit_web_view_evaluate_javascript(view.get(), script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
}

bool WebkitPageChannel::call(const pagecall::LiftedCall& call) {
    auto view = view_.lock();
    if (!view) return true;  // dropped, as a text call would be
    // The strings reach the page as arguments of an async function whose body only makes the call:
    // WebKit copies them as values and parses a few bytes of source. It runs in the same queue as
    // evaluations, so the order of page calls holds.
    GVariantBuilder args;
    g_variant_builder_init(&args, G_VARIANT_TYPE_VARDICT);
    for (std::size_t i = 0; i < call.strings.size(); ++i) {
        const std::string key = "a" + std::to_string(i);
        g_variant_builder_add(&args, "{sv}", key.c_str(), checkedString(*call.strings[i]));
    }
    g_autoptr(GVariant) dict = g_variant_ref_sink(g_variant_builder_end(&args));
    webkit_web_view_call_async_javascript_function(view.get(), call.body.data(), static_cast<gssize>(call.body.size()),
                                                   dict, nullptr, nullptr, nullptr, nullptr, nullptr);
    return true;
}

void WebkitPageChannel::carryThen(const std::string& body, const std::string& text, Done done) {
    auto view = view_.lock();
    if (!view) return evaluateThen(body, std::move(done));  // answers nothing, later
    GVariantBuilder args;
    g_variant_builder_init(&args, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&args, "{sv}", "a0", checkedString(text));
    g_autoptr(GVariant) dict = g_variant_ref_sink(g_variant_builder_end(&args));
    webkit_web_view_call_async_javascript_function(view.get(), body.data(), static_cast<gssize>(body.size()), dict,
                                                   nullptr, nullptr, nullptr, called, new Done(std::move(done)));
}

void WebkitPageChannel::evaluateThen(const std::string& script, Done done) {
    auto view = view_.lock();
    if (!view) {
        // Still answer once, but later, like a real evaluation would.
        auto* boxed = new Done(std::move(done));
        g_idle_add_once(
            [](gpointer d) noexcept {
                std::unique_ptr<Done> owned(static_cast<Done*>(d));
                (*owned)(std::nullopt);
            },
            boxed);
        return;
    }
    webkit_web_view_evaluate_javascript(view.get(), script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, evaluated, new Done(std::move(done)));
}

}  // namespace bridge
