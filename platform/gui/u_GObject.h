// Ownership of the toolkit's C objects in one place: a reference-counted GObject (TGObjectPtr), a
// top-level window (TWindowOwner), a signal connection that ends with its owner
// (TSignalConnection) and a main-loop timer or idle call that ends with its owner (TScopedSource).
// Every handler and every timer body runs through GuardedCall: no exception leaves the main loop.
#pragma once

#include "u_GuardedCall.h"

#include <glib-object.h>

#include <functional>
#include <memory>
#include <utility>

// One reference to a GObject. Take adopts a reference the caller already owns (a function's "full"
// result); Ref adds one (and sinks a floating reference, which makes the pointer its owner).
template <class T> class TGObjectPtr {
public:
    TGObjectPtr() noexcept = default;
    TGObjectPtr(std::nullptr_t) noexcept {}
    static TGObjectPtr Take(T* object) noexcept {
        TGObjectPtr result;
        result.FObject = object;
        return result;
    }
    static TGObjectPtr Ref(T* object) noexcept {
        TGObjectPtr result;
        if (object) result.FObject = static_cast<T*>(g_object_ref_sink(object));
        return result;
    }
    TGObjectPtr(const TGObjectPtr& other) noexcept : FObject(other.FObject) {
        if (FObject) g_object_ref(FObject);
    }
    TGObjectPtr(TGObjectPtr&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
    TGObjectPtr& operator=(TGObjectPtr other) noexcept {
        std::swap(FObject, other.FObject);
        return *this;
    }
    ~TGObjectPtr() { reset(); }

    T* get() const noexcept { return FObject; }
    T* operator->() const noexcept { return FObject; }
    explicit operator bool() const noexcept { return FObject != nullptr; }
    // Gives the reference to the caller (for a function that takes ownership).
    [[nodiscard]] T* release() noexcept { return std::exchange(FObject, nullptr); }
    void reset() noexcept {
        if (T* object = std::exchange(FObject, nullptr)) g_object_unref(object);
    }
    friend bool operator==(const TGObjectPtr& a, const TGObjectPtr& b) noexcept { return a.FObject == b.FObject; }
    friend bool operator==(const TGObjectPtr& a, std::nullptr_t) noexcept { return a.FObject == nullptr; }

private:
    T* FObject = nullptr;
};

// A GLib structure that is not a GObject (a main loop, a GError, a cairo surface), freed with its
// own function: TGlibPtr<GMainLoop, g_main_loop_unref>.
template <auto Free> struct TFreeWith {
    template <class T> void operator()(T* value) const noexcept { Free(value); }
};
template <class T, auto Free> using TGlibPtr = std::unique_ptr<T, TFreeWith<Free>>;

namespace GObjectDetail {

template <class Signature, class F> struct TThunk;
template <class R, class... A, class F> struct TThunk<R(A...), F> {
    struct TData {
        F Body;
        const char* Where;
    };
    // The C handler: the instance and the signal's arguments, then the connection's data.
    static R Call(A... args, gpointer data) noexcept {
        auto* d = static_cast<TData*>(data);
        if constexpr (std::is_void_v<R>)
            GuardedCall(d->Where, [&] { d->Body(args...); });
        else
            return GuardedCall(d->Where, [&]() -> R { return d->Body(args...); });
    }
    static void Free(gpointer data, GClosure*) noexcept { delete static_cast<TData*>(data); }
};

} // namespace GObjectDetail

// Connects body to a signal of instance; Signature is the handler's C signature without the
// trailing data pointer, e.g. ConnectSignal<gboolean(GtkWidget*, GdkEventKey*)>(window,
// "key-press-event", [this](GtkWidget*, GdkEventKey* event) { ... }). The body lives as long as
// the connection: it is destroyed when the instance is, or when the handler is disconnected.
// after: runs after the signal's default handler. Returns the handler id.
template <class Signature, class F>
gulong ConnectSignal(gpointer instance, const char* signal, F body, const char* where = "signal handler",
                     bool after = false) {
    using TThunk = GObjectDetail::TThunk<Signature, F>;
    std::unique_ptr<typename TThunk::TData> data(new typename TThunk::TData{std::move(body), where});
    const gulong handler =
        g_signal_connect_data(instance, signal, reinterpret_cast<GCallback>(&TThunk::Call), data.get(),
                              &TThunk::Free, after ? G_CONNECT_AFTER : GConnectFlags(0));
    // A signal the instance does not have connects nothing (GLib says so) and never frees the data.
    if (handler) static_cast<void>(data.release());
    return handler;
}

// A signal connection that ends when this object does (or on Disconnect), for a handler whose
// receiver may die before the instance that raises the signal. Safe when the instance has
// already gone.
class TSignalConnection {
public:
    TSignalConnection() noexcept = default;
    // No weak reference without a handler: nothing would clear it, and the instance would write
    // into this object's memory when it dies.
    TSignalConnection(gpointer instance, gulong handler) noexcept : FHandler(handler) {
        if (FHandler) g_weak_ref_init(&FInstance, instance);
    }
    template <class Signature, class F>
    static TSignalConnection Connect(gpointer instance, const char* signal, F body,
                                     const char* where = "signal handler", bool after = false) {
        return TSignalConnection(instance,
                                 ConnectSignal<Signature>(instance, signal, std::move(body), where, after));
    }
    TSignalConnection(TSignalConnection&& other) noexcept { MoveFrom(other); }
    TSignalConnection& operator=(TSignalConnection&& other) noexcept {
        if (this != &other) {
            Disconnect();
            MoveFrom(other);
        }
        return *this;
    }
    TSignalConnection(const TSignalConnection&) = delete;
    TSignalConnection& operator=(const TSignalConnection&) = delete;
    ~TSignalConnection() { Disconnect(); }

    void Disconnect() noexcept {
        if (!FHandler) return;
        if (gpointer instance = g_weak_ref_get(&FInstance)) {
            if (g_signal_handler_is_connected(instance, FHandler)) g_signal_handler_disconnect(instance, FHandler);
            g_object_unref(instance);
        }
        g_weak_ref_clear(&FInstance);
        FHandler = 0;
    }
    bool Connected() const noexcept { return FHandler != 0; }

private:
    void MoveFrom(TSignalConnection& other) noexcept {
        FHandler = std::exchange(other.FHandler, 0);
        if (!FHandler) return;
        gpointer instance = g_weak_ref_get(&other.FInstance);
        g_weak_ref_init(&FInstance, instance);
        if (instance) g_object_unref(instance);
        g_weak_ref_clear(&other.FInstance);
    }

    GWeakRef FInstance{};
    gulong FHandler = 0;
};

// A timer or idle call of the main loop that ends when this object does (or on Cancel). The body
// answers whether to run again; a body that throws is reported and not run again. Active says
// whether the source is still in the loop.
class TScopedSource {
public:
    TScopedSource() noexcept = default;
    static TScopedSource Timeout(unsigned intervalMs, std::function<bool()> body, const char* where = "timer") {
        TScopedSource source;
        source.Start(g_timeout_source_new(intervalMs), std::move(body), where);
        return source;
    }
    static TScopedSource Idle(std::function<bool()> body, const char* where = "idle call",
                              int priority = G_PRIORITY_DEFAULT_IDLE) {
        TScopedSource source;
        GSource* idle = g_idle_source_new();
        g_source_set_priority(idle, priority);
        source.Start(idle, std::move(body), where);
        return source;
    }
    TScopedSource(TScopedSource&& other) noexcept : FState(std::exchange(other.FState, nullptr)) {
        if (FState) FState->Owner = this;
    }
    TScopedSource& operator=(TScopedSource&& other) noexcept {
        if (this != &other) {
            Cancel();
            FState = std::exchange(other.FState, nullptr);
            if (FState) FState->Owner = this;
        }
        return *this;
    }
    TScopedSource(const TScopedSource&) = delete;
    TScopedSource& operator=(const TScopedSource&) = delete;
    ~TScopedSource() { Cancel(); }

    bool Active() const noexcept { return FState != nullptr; }
    // Takes the source out of the loop. A body may cancel its own source; it is destroyed once the
    // body has returned.
    void Cancel() noexcept {
        if (TState* state = std::exchange(FState, nullptr)) {
            state->Owner = nullptr;
            g_source_destroy(state->Source);
        }
    }

private:
    struct TState {
        std::function<bool()> Body;
        const char* Where;
        TScopedSource* Owner;
        GSource* Source;
    };
    static gboolean Dispatch(gpointer data) noexcept {
        auto* state = static_cast<TState*>(data);
        return GuardedCall(state->Where, state->Body, false) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    }
    static void Destroyed(gpointer data) noexcept {
        auto* state = static_cast<TState*>(data);
        if (state->Owner) state->Owner->FState = nullptr;
        delete state;
    }
    void Start(GSource* source, std::function<bool()> body, const char* where) {
        FState = new TState{std::move(body), where, this, source};
        g_source_set_callback(source, &Dispatch, FState, &Destroyed);
        g_source_attach(source, nullptr);
        g_source_unref(source); // the main context holds it while it is attached
    }

    TState* FState = nullptr;
};

// Runs body once from the main loop when it is idle, with no owner to cancel it: for work whose
// target outlives the loop's next turn (or that checks it still exists).
inline void PostIdle(std::function<void()> body, const char* where = "idle call",
                     int priority = G_PRIORITY_DEFAULT_IDLE) {
    struct TData {
        std::function<void()> Body;
        const char* Where;
    };
    g_idle_add_full(
        priority,
        [](gpointer data) noexcept -> gboolean {
            auto* d = static_cast<TData*>(data);
            GuardedCall(d->Where, d->Body);
            return G_SOURCE_REMOVE;
        },
        new TData{std::move(body), where}, [](gpointer data) noexcept { delete static_cast<TData*>(data); });
}
