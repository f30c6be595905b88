// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One way to connect a GObject signal to a C++ owner: the callback data is boxed and freed by GLib
// with the connection, and the owner is held weakly, so a signal after the owner is gone does
// nothing. No hand-written user-data blocks or deleters.
#include <glib-object.h>

#include <memory>
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

}  // namespace gobj
