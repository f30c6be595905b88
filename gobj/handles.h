// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small owners for GLib objects: members and containers hold these, never bare pointers.
#include <glib-object.h>

#include <memory>
#include <utility>

namespace gobj {

template <auto Free>
struct FreeWith {
    template <class T>
    void operator()(T* p) const noexcept {
        if (p) Free(p);
    }
};

template <class T>
using GRef = std::unique_ptr<T, FreeWith<g_object_unref>>;

template <class T>
GRef<T> adopt(T* p) {
    return GRef<T>{p};
}  // transfer full
template <class T>
GRef<T> retain(T* p) {
    return GRef<T>{p ? static_cast<T*>(g_object_ref(p)) : nullptr};
}  // transfer none, kept

// A weak reference that yields null once the object is finalised.
template <class T>
class Weak {
public:
    Weak() { g_weak_ref_init(&ref_, nullptr); }
    explicit Weak(T* obj) { g_weak_ref_init(&ref_, obj); }
    ~Weak() { g_weak_ref_clear(&ref_); }
    Weak(const Weak&) = delete;
    Weak& operator=(const Weak&) = delete;
    void set(T* obj) { g_weak_ref_set(&ref_, obj); }
    // A strong reference for the duration of a use, or null.
    GRef<T> lock() const { return adopt(static_cast<T*>(g_weak_ref_get(const_cast<GWeakRef*>(&ref_)))); }

private:
    GWeakRef ref_;
};

// A signal connection that disconnects when it goes out of scope (if the instance still lives).
class SignalConnection {
public:
    SignalConnection() = default;
    SignalConnection(gpointer instance, gulong id)
        : instance_(std::make_unique<Weak<GObject>>(G_OBJECT(instance))), id_(id) {}
    ~SignalConnection() { reset(); }
    SignalConnection(SignalConnection&& o) noexcept = default;
    SignalConnection& operator=(SignalConnection&& o) noexcept {
        if (this != &o) {
            reset();
            instance_ = std::move(o.instance_);
            id_ = std::exchange(o.id_, 0);
        }
        return *this;
    }
    void reset() {
        if (id_ == 0 || !instance_) return;
        if (auto obj = instance_->lock()) g_signal_handler_disconnect(obj.get(), id_);
        id_ = 0;
    }

private:
    std::unique_ptr<Weak<GObject>> instance_;
    gulong id_ = 0;
};

}  // namespace gobj
