// The one way the program's code is entered from the toolkit and the main loop (signal handlers,
// timers, idle calls, event filters): an exception never leaves such a callback. It is written to
// the debug log, shown in the standard error box, and the program goes on.
#pragma once

#include <type_traits>
#include <utility>

// Logs "<where> failed: <message>" and shows the message in an error box. Call only inside a catch
// block. Never throws.
void ReportCallbackFailure(const char* where) noexcept;

// Runs body; whatever it throws is reported as above and the call returns onFailure (for a timer
// or idle source false, which removes it: a failing callback does not fail again and again).
template <class F, class R = std::invoke_result_t<F&>>
requires(!std::is_void_v<R>) R GuardedCall(const char* where, F&& body, R onFailure)
noexcept {
    try {
        return body();
    } catch (...) {
        ReportCallbackFailure(where);
        return onFailure;
    }
}

template <class F>
requires std::is_void_v<std::invoke_result_t<F&>>
void GuardedCall(const char* where, F&& body) noexcept {
    try {
        body();
    } catch (...) {
        ReportCallbackFailure(where);
    }
}

template <class F>
requires(!std::is_void_v<std::invoke_result_t<F&>>) std::invoke_result_t<F&> GuardedCall(const char* where,
                                                                                         F&& body)
noexcept {
    return GuardedCall(where, std::forward<F>(body), std::invoke_result_t<F&>{});
}

namespace GuardedDetail {
template <class F, class R, class C, class... A> auto Wrap(const char* where, F body, R (C::*)(A...) const) {
    return [where, body = std::move(body)](A... args) -> R {
        return GuardedCall(where, [&]() -> R { return body(std::forward<A>(args)...); });
    };
}
} // namespace GuardedDetail

// A lambda (with a plain, non-template call operator) as a callback to connect: each call runs
// through GuardedCall with the lambda's own signature.
template <class F> auto Guarded(const char* where, F body) {
    return GuardedDetail::Wrap(where, std::move(body), &F::operator());
}
