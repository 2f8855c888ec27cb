// Makes one allocation of the current thread fail with std::bad_alloc, to walk a piece of code
// through every point where it allocates. Linking FailingAllocation.cpp into a test replaces the
// global operator new of that test executable; other threads and unarmed code allocate as usual.
#pragma once

#include <cstddef>
#include <new>

class TFailingAllocation {
  public:
    // The n-th allocation on this thread from now on (n >= 1) fails; the others succeed.
    explicit TFailingAllocation(size_t n);
    TFailingAllocation(const TFailingAllocation&) = delete;
    TFailingAllocation& operator=(const TFailingAllocation&) = delete;
    ~TFailingAllocation();

    // Whether the failure has happened.
    bool Failed() const;
};

// Runs action once for every allocation it makes, with that allocation failing (action catches
// nothing itself: std::bad_alloc reaches check), then check() after each run. Returns how many
// allocations the action needed when none failed.
template <class Action, class Check> size_t ForEachFailingAllocation(Action action, Check check) {
    for (size_t n = 1;; ++n) {
        bool failed = false;
        {
            TFailingAllocation failure(n);
            try {
                action();
            } catch (const std::bad_alloc&) {
            }
            failed = failure.Failed();
        }
        check();
        if (!failed) return n - 1;
    }
}
