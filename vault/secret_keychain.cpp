// SPDX-License-Identifier: GPL-3.0-or-later
#include "vault/secret_keychain.h"

#include <gio/gio.h>
#include <libsecret/secret.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "gobj/gerror.h"
#include "gobj/handles.h"

namespace vault {
namespace {

// Items are matched by their attributes alone, so an item another tool stored under the same
// service and account is found too.
const SecretSchema kSchema = {
    "org.tavrik.Vault",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {
        {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

KeychainError fromGError(const GError* error) {
    if (!error) return {-1, "unknown failure"};
    return {error->code, gobj::describe(error, g_quark_to_string(error->domain))};
}

KeychainError timedOut() { return {G_IO_ERROR_TIMED_OUT, "the Secret Service did not answer in time"}; }
KeychainError offline() { return {G_IO_ERROR_CANCELLED, "not asked while the application ends"}; }

}  // namespace

struct SecretKeychain::Gate {
    std::mutex mutex;
    std::condition_variable cv;  // a call's answer arrived, or the keychain went offline
    std::chrono::steady_clock::time_point stalledUntil{};
    std::optional<std::chrono::steady_clock::time_point> offlineAt;  // waits end here at the latest
};

namespace {

using Clock = std::chrono::steady_clock;

// Runs `call` on its own thread and waits for it at most `limit` (less once the keychain goes
// offline). On a timeout the call is cancelled and left to finish on its own; the answer is then
// nothing. The thread holds the gate and its own state, never the keychain.
template <class T>
std::optional<T> runBounded(const std::shared_ptr<SecretKeychain::Gate>& gate, std::function<T(GCancellable*)> call,
                            std::chrono::milliseconds limit) {
    struct State {
        std::optional<T> result;  // under the gate's mutex
        gobj::GRef<GCancellable> cancellable = gobj::adopt(g_cancellable_new());
    };
    auto state = std::make_shared<State>();
    std::thread([gate, state, call = std::move(call)] {
        T r = call(state->cancellable.get());
        std::lock_guard lock(gate->mutex);
        state->result = std::move(r);
        gate->cv.notify_all();
    }).detach();

    const auto limitEnds = Clock::now() + limit;
    std::unique_lock lock(gate->mutex);
    for (;;) {
        if (state->result) return std::move(state->result);
        auto until = gate->offlineAt ? std::min(limitEnds, *gate->offlineAt) : limitEnds;
        if (Clock::now() >= until) break;
        gate->cv.wait_until(lock, until);
    }
    g_cancellable_cancel(state->cancellable.get());
    // Going offline is for shutdown: nothing waits for the cancelled call to come back.
    if (gate->offlineAt) return std::nullopt;
    // A cancelled D-Bus call returns at once; one stuck elsewhere is abandoned.
    gate->cv.wait_for(lock, std::chrono::milliseconds(200), [&] { return state->result.has_value(); });
    return std::move(state->result);
}

}  // namespace

SecretKeychain::SecretKeychain(std::string service, std::chrono::milliseconds limit, std::chrono::milliseconds cooldown)
    : service_(std::move(service)), limit_(limit), cooldown_(cooldown), gate_(std::make_shared<Gate>()) {}

std::optional<KeychainError> SecretKeychain::unavailable() {
    std::lock_guard lock(gate_->mutex);
    if (gate_->offlineAt) return offline();
    if (Clock::now() < gate_->stalledUntil) return timedOut();
    return std::nullopt;
}

void SecretKeychain::noteTimeout() {
    std::lock_guard lock(gate_->mutex);
    gate_->stalledUntil = Clock::now() + cooldown_;
}

template <class T>
T SecretKeychain::ask(std::function<T(GCancellable*)> call, T onTimeout) {
    auto answer = runBounded<T>(gate_, std::move(call), limit_);
    if (answer) return std::move(*answer);
    noteTimeout();
    return onTimeout;
}

void SecretKeychain::goOffline(std::chrono::milliseconds grace) {
    {
        std::lock_guard lock(gate_->mutex);
        auto at = Clock::now() + grace;
        if (!gate_->offlineAt || at < *gate_->offlineAt) gate_->offlineAt = at;
    }
    gate_->cv.notify_all();
}

std::optional<KeychainError> SecretKeychain::add(const std::string& account, const std::string& secret) {
    if (auto refused = unavailable()) return refused;
    using Answer = std::optional<KeychainError>;
    return ask<Answer>(
        [service = service_, account, secret](GCancellable* cancellable) -> Answer {
            g_autoptr(GError) error = nullptr;
            secret_password_clear_sync(&kSchema, cancellable, &error, "service", service.c_str(), "account",
                                       account.c_str(), nullptr);
            g_clear_error(&error);
            SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
            std::string label = "TAVRIK: " + account;
            gboolean stored = secret_password_store_binary_sync(&kSchema, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                                value, cancellable, &error, "service", service.c_str(),
                                                                "account", account.c_str(), nullptr);
            secret_value_unref(value);
            if (!stored) return fromGError(error);
            return std::nullopt;
        },
        Answer(timedOut()));
}

std::optional<KeychainError> SecretKeychain::remove(const std::string& account) {
    if (auto refused = unavailable()) return refused;
    using Answer = std::optional<KeychainError>;
    return ask<Answer>(
        [service = service_, account](GCancellable* cancellable) -> Answer {
            g_autoptr(GError) error = nullptr;
            // FALSE without an error only means there was nothing to remove.
            if (!secret_password_clear_sync(&kSchema, cancellable, &error, "service", service.c_str(), "account",
                                            account.c_str(), nullptr) &&
                error)
                return fromGError(error);
            return std::nullopt;
        },
        Answer(timedOut()));
}

std::optional<std::string> SecretKeychain::read(const std::string& account) {
    if (unavailable()) return std::nullopt;
    using Answer = std::optional<std::string>;
    return ask<Answer>(
        [service = service_, account](GCancellable* cancellable) -> Answer {
            g_autoptr(GError) error = nullptr;
            SecretValue* value = secret_password_lookup_binary_sync(
                &kSchema, cancellable, &error, "service", service.c_str(), "account", account.c_str(), nullptr);
            if (!value) return std::nullopt;  // absent, or a failure: both mean "not in the keychain"
            gsize length = 0;
            const gchar* bytes = secret_value_get(value, &length);
            std::string text(bytes ? bytes : "", bytes ? length : 0);
            secret_value_unref(value);
            return text;
        },
        Answer(std::nullopt));
}

std::vector<std::string> SecretKeychain::accounts() {
    if (unavailable()) return {};
    using Answer = std::vector<std::string>;
    return ask<Answer>(
        [service = service_](GCancellable* cancellable) -> Answer {
            g_autoptr(GError) error = nullptr;
            g_autoptr(GHashTable) query = g_hash_table_new(g_str_hash, g_str_equal);
            g_hash_table_insert(query, const_cast<char*>("service"), const_cast<char*>(service.c_str()));
            // Attributes are readable without unlocking, so listing never prompts.
            GList* items = secret_service_search_sync(nullptr, &kSchema, query, SECRET_SEARCH_ALL, cancellable, &error);
            Answer found;
            for (GList* l = items; l; l = l->next) {
                g_autoptr(GHashTable) attributes = secret_item_get_attributes(SECRET_ITEM(l->data));
                auto* account = static_cast<const char*>(g_hash_table_lookup(attributes, "account"));
                if (account) found.emplace_back(account);
            }
            g_list_free_full(items, g_object_unref);
            return found;
        },
        Answer{});
}

}  // namespace vault
