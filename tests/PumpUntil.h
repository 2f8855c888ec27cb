// Waiting in tests for what the main loop brings about.
#pragma once

#include <glib.h>

// Pumps the default main context until done() is true or timeoutMs passed; false on timeout.
// Between events it looks again every 2 ms, so that a change no event announces (a file another
// process writes) ends the wait too.
template <class F> bool PumpUntil(F done, int timeoutMs = 20000) {
    const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
    while (!done() && g_get_monotonic_time() < deadline)
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
    return done();
}
