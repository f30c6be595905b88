// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One way to connect a GObject signal to a C++ owner: the callback data is boxed and freed by GLib
// with the connection, and the owner is held weakly, so a signal after the owner is gone does
// nothing. No hand-written user-data blocks or deleters.
#include <glib-object.h>
#include <glib-unix.h>

#include <memory>
#include <type_traits>
#include <utility>

#include "gobj/handles.h"

namespace gobj {

// `Args` are the signal's parameters after the instance, as its C handler receives them; `fn` is
// called as fn(owner, instance, args…) on a live owner only. Returns the connection; dropping it
// disconnects.
template <class Instance, class... Args, class Owner, class Fn>
SignalConnection connect(Instance* instance, const char* signal, std::weak_ptr<Owner> owner, Fn fn) {
    struct Box {
        std::weak_ptr<Owner> owner;
        Fn fn;
    };
    auto thunk = +[](Instance* self, Args... args, gpointer data) noexcept {
        auto* box = static_cast<Box*>(data);
        if (auto o = box->owner.lock()) box->fn(*o, self, args...);
    };
    gulong id = g_signal_connect_data(
        instance, signal, G_CALLBACK(thunk), new Box{std::move(owner), std::move(fn)},
        [](gpointer data, GClosure*) noexcept { delete static_cast<Box*>(data); }, GConnectFlags{});
    return SignalConnection(instance, id);
}

// For handlers whose state belongs to the instance (a dialog's pending answer): `fn`, with all it
// holds, lives as long as the connection, which lives as long as the instance, and is called as
// fn(instance, args…), whose result is the handler's. What `fn` holds is freed when the instance is.
template <class Instance, class... Args, class Fn>
void connectForLife(Instance* instance, const char* signal, Fn fn) {
    using Result = std::invoke_result_t<Fn&, Instance*, Args...>;
    auto thunk = +[](Instance* self, Args... args, gpointer data) noexcept -> Result {
        return (*static_cast<Fn*>(data))(self, args...);
    };
    g_signal_connect_data(
        instance, signal, G_CALLBACK(thunk), new Fn(std::move(fn)),
        [](gpointer data, GClosure*) noexcept { delete static_cast<Fn*>(data); }, GConnectFlags{});
}

// A main-loop source that is removed when this handle goes.
class SourceHandle {
public:
    SourceHandle() = default;
    explicit SourceHandle(guint id) : id_(id) {}
    ~SourceHandle() { reset(); }
    SourceHandle(SourceHandle&& o) noexcept : id_(std::exchange(o.id_, 0)) {}
    SourceHandle& operator=(SourceHandle&& o) noexcept {
        if (this != &o) {
            reset();
            id_ = std::exchange(o.id_, 0);
        }
        return *this;
    }
    void reset() {
        if (id_) g_source_remove(std::exchange(id_, 0));
    }

private:
    guint id_ = 0;
};

// Calls fn(owner) on the main loop each time the process receives `signum` (SIGTERM, SIGINT, …),
// while the owner lives and the handle is kept.
template <class Owner, class Fn>
SourceHandle onUnixSignal(int signum, std::weak_ptr<Owner> owner, Fn fn) {
    struct Box {
        std::weak_ptr<Owner> owner;
        Fn fn;
    };
    auto thunk = +[](gpointer data) noexcept -> gboolean {
        auto* box = static_cast<Box*>(data);
        if (auto o = box->owner.lock()) box->fn(*o);
        return G_SOURCE_CONTINUE;
    };
    return SourceHandle(g_unix_signal_add_full(G_PRIORITY_DEFAULT, signum, thunk,
                                               new Box{std::move(owner), std::move(fn)},
                                               [](gpointer data) noexcept { delete static_cast<Box*>(data); }));
}

}  // namespace gobj
